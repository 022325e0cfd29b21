// image_bench <input folder> <output folder> <box width> <box height> [rotate steps]
// Converts every picture of the input folder one after another through the image run
// controller, as the page does, and prints the count, the time and pictures per second.
#include "image/image_run_controller.h"
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
    ImageBatch batch;
    const QDir input(args[1]);
    int row = 0;
    const QStringList names =
        input.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.png"),
                         QStringLiteral("*.bmp"), QStringLiteral("*.gif")},
                        QDir::Files, QDir::Name);
    for (const QString &name : names)
        batch.items.append({row++, input.filePath(name), name});
    batch.outputFolder = OutputFolder::FromArgument(args[2]).Text();
    batch.box = QSize(args[3].toInt(), args[4].toInt());
    batch.rotateSteps = args.size() > 5 ? args[5].toInt() : 0;

    ImageRunController controller;
    QElapsedTimer timer;
    int failed = 0;
    QObject::connect(&controller, &ImageRunController::fileFailed, [&](int r, ImageError error) {
        ++failed;
        std::fprintf(stderr, "failed: %s (%s)\n", qPrintable(batch.items[r].sourcePath), ImageErrorText(error));
    });
    QObject::connect(&controller, &ImageRunController::runFinished, &app, &QCoreApplication::quit);
    timer.start();
    if (controller.Start(batch) != ImageRunController::StartResult::Started) {
        std::fprintf(stderr, "no pictures in %s\n", qPrintable(args[1]));
        return 2;
    }
    app.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%lld pictures, %d failed, %.2f s, %.2f pictures/s\n", static_cast<long long>(names.size()), failed,
                seconds, names.size() / seconds);
    return failed == 0 ? 0 : 1;
}
