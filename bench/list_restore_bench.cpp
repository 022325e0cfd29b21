// Restores a long kept list into a real page list, as a page does at start-up, and prints how
// long it took: the restore itself, and the first event-loop turn after it (the list's layout
// and paint, and the keeper writing the list back).
//
//   list_restore_bench [rows]      (10000 by default; goal: under 0.5 s in all)
//
// The sources are empty files in a temporary folder; XDG_STATE_HOME points there as well.

#include "page/job_rows.h"
#include "page/list_keeper.h"
#include "widgets/file_list_ctrl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path() + QStringLiteral("/state")));

    // Every kind of row a kept list holds: waiting, unchecked, failed with a reason, converted.
    QList<KeptRow> rows;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.path() + QStringLiteral("/clip %1.mp4").arg(i, 5, 10, QChar('0'));
        QFile(path).open(QIODevice::WriteOnly);
        if (i % 7 == 0)
            rows.append({path, false, RowStatus::Failed, LastRun::Failed(Reason::Engine(13))});
        else if (i % 5 == 0)
            rows.append({path, false, RowStatus::Complete, LastRun::Converted(path + QStringLiteral(".out.mp4"))});
        else
            rows.append({path, i % 3 != 0, RowStatus::Waiting, {}});
    }
    if (!ListStore(QStringLiteral("movie")).Save(rows)) {
        std::fprintf(stderr, "list_restore_bench: cannot write the list under %s\n", qPrintable(dir.path()));
        return 1;
    }

    FileListCtrl list;
    JobRows jobRows(list, QStringLiteral("IDS_SUPPORT_FILES"), QStringLiteral("IDS_SUPPORT_VFORMAT_STR"));
    jobRows.Configure();
    list.resize(640, 140);
    list.show();
    ListKeeper keeper(jobRows, QStringLiteral("movie"));

    QElapsedTimer timer;
    timer.start();
    const int restored = keeper.Restore();
    const qint64 restoreMs = timer.elapsed();
    QApplication::processEvents();
    const qint64 totalMs = timer.elapsed();
    std::printf("restored %d of %d rows: restore %lld ms, first turn after it %lld ms, in all %.3f s\n", restored,
                count, restoreMs, totalMs - restoreMs, totalMs / 1000.0);
    return restored == count ? 0 : 1;
}
