// Started by tst_list_survives: a movie page on the script engine, sharing the test's state
// folder, converts the files named after the save folder on its command line. Once the first
// file is done and the second converting, and that list is on disk, it prints "converting"
// and waits to be killed.
//
//   movie_list_child SAVE_FOLDER INPUT...

#include "movie_test_support.h"

#include "platform/power_inhibit.h"

#include <QApplication>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    platform::PowerInhibit::SetBackend(
        [](const QString &) -> std::optional<int> { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); });
    ScriptedMessageBox box(IDOK);
    MovieWindow window(nullptr, SkinDialog::Kind::Window);
    window.SetOutputFolder(OutputFolder(args[1]));
    window.Engine().SetEnginePath(ScriptEnginePath()); // the engine's own limits: no hurry here
    MovieRunTimings timings;
    timings.tickMs = 3600 * 1000; // no stall watchdog while the test takes its time
    window.Run().SetTimings(timings);
    window.show();
    if (window.Rows().AddFiles(args.mid(2)) != int(args.size()) - 2)
        return 3;

    bool told = false;
    QObject::connect(&window.KeptList(), &ListKeeper::saved, [&] {
        const JobListModel &model = window.Rows().Model();
        if (told || model.At(0).status != RowStatus::Complete || model.At(1).status != RowStatus::Converting)
            return;
        told = true;
        std::printf("converting\n");
        std::fflush(stdout);
    });
    window.OnConvertCommand();
    return app.exec();
}
