// image_bench <input folder> <output folder> <box width> <box height> [rotate steps]
// Converts every picture of the input folder one after another through the image run, as the
// page does, and prints the count, the time and pictures per second.
#include "image/image_run.h"
#include "platform/native_name.h"
#include "shell/output_folder.h"

#include <QElapsedTimer>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << platform::NameFromNative(argv[i]);
    if (args.size() < 5) {
        std::fprintf(stderr,
                     "usage: image_bench <input folder> <output folder> <box width> <box height> [rotate steps]\n");
        return 2;
    }
    RunRequest request;
    // Listed byte-exact: QDir would lose a name that is no UTF-8.
    static const QStringList kinds = {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                      QStringLiteral("bmp"), QStringLiteral("gif")};
    QStringList names;
    for (const QString &name : platform::FolderNames(args[1])) {
        const QString path = args[1] + QLatin1Char('/') + name;
        if (kinds.contains(name.section(QLatin1Char('.'), -1).toLower()) && platform::StatName(path).isFile)
            names << path;
    }
    int row = 0;
    for (const QString &path : names)
        request.jobs.append({row++, path});
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
        std::fprintf(stderr, "failed: %s (%s)\n", qPrintable(platform::ShownName(end.sourcePath)),
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
