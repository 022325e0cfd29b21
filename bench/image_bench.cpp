// image_bench <input folder> <output folder> <box width> <box height> [rotate steps]
// Converts every picture of the input folder one after another through the image run, as the
// page does, and prints the count, the time and pictures per second.
#include "image/image_run.h"
#include "shell/output_folder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr,
                     "usage: image_bench <input folder> <output folder> <box width> <box height> [rotate steps]\n");
        return 2;
    }
    RunRequest request;
    const QDir input(args[1]);
    int row = 0;
    const QStringList names =
        input.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.png"),
                         QStringLiteral("*.bmp"), QStringLiteral("*.gif")},
                        QDir::Files, QDir::Name);
    for (const QString &name : names)
        request.jobs.append({row++, input.filePath(name)});
    request.outputFolder = OutputFolder::FromArgument(args[2]);
    request.box = QSize(args[3].toInt(), args[4].toInt());
    request.rotateSteps = args.size() > 5 ? args[5].toInt() : 0;

    ImageRun run;
    QElapsedTimer timer;
    int failed = 0;
    QObject::connect(&run, &ImageRun::fileEnded, [&](const FileEnd &end) {
        if (end.outcome == Outcome::Done)
            return;
        ++failed;
        std::fprintf(stderr, "failed: %s (%s)\n", qPrintable(end.sourcePath),
                     ImageErrorText(ImageError(end.reason.code)));
    });
    QObject::connect(&run, &ImageRun::runEnded, &app, &QCoreApplication::quit);
    timer.start();
    if (!run.Start(request)) {
        std::fprintf(stderr, "no pictures in %s\n", qPrintable(args[1]));
        return 2;
    }
    app.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%lld pictures, %d failed, %.2f s, %.2f pictures/s\n", static_cast<long long>(names.size()), failed,
                seconds, names.size() / seconds);
    return failed == 0 ? 0 : 1;
}
