// Both pages' lists across a restart: the movie page's after its process was killed in the
// middle of a run, the image page's after it was closed.

#include "movie_test_support.h"

#include "image/image_window.h"
#include "run/reason_text.h"
#include "run/state_folder.h"
#include "shell/lang.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <ctime>
#include <utime.h>

class TstListSurvives : public QObject {
    Q_OBJECT

private slots:
    void movieListAfterKill();
    void imageListAfterRestart();
};

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

// The rows as the page shows them: path, checked, status, last run.
QList<KeptRow> Shown(ConverterPage &page) { return page.Rows().Model().KeptRows(); }

// Each status cell says what its code says.
bool StatusTextsMatch(ConverterPage &page)
{
    const JobListModel &model = page.Rows().Model();
    for (int row = 0; row < model.RowCount(); ++row) {
        if (model.index(row, 2).data().toString() != RowStatusText(int(model.At(row).status)))
            return false;
    }
    return true;
}

} // namespace

void TstListSurvives::movieListAfterKill()
{
    MovieFolders folders; // the child inherits its state folder
    const QString done = folders.Script("done.mp4", "output\nfinish\n");
    const QString hold = folders.Script("hold me.mp4", "progress 10 1\n"); // then waits for stop
    const QString third = folders.Script(QString::fromUtf8("trois é.mp4"), "output\nfinish\n");
    const QString gone = folders.Script("gone.mp4", "output\nfinish\n");

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationDirPath() + "/movie_list_child",
                {folders.SaveFolder(), done, hold, third, gone});
    QVERIFY(child.waitForStarted());
    while (!child.canReadLine() && child.waitForReadyRead(60000)) {
    }
    QCOMPARE(child.readLine().trimmed(), QByteArray("converting"));

    // A second copy meanwhile, whose runtime folder lay elsewhere so that no single-instance
    // guard stopped it: told once for both pages, it starts empty and writes no list, also
    // when the first copy's lock is older than any stale age.
    const std::optional<QList<KeptRow>> kept = ListStore(QStringLiteral("movie")).Load();
    const utimbuf hourAgo{std::time(nullptr) - 3600, std::time(nullptr) - 3600};
    QCOMPARE(::utime(QFile::encodeName(ListStore::Folder() + "/lists.lock").constData(), &hourAgo), 0);
    {
        ScriptedMessageBox box(IDOK);
        MovieWindow second(nullptr, SkinDialog::Kind::Window);
        ImageWindow secondImages(nullptr, SkinDialog::Kind::Window);
        QCOMPARE(second.Rows().Model().RowCount(), 0);
        QCOMPARE(box.Questions().size(), 1);
        QCOMPARE(box.Questions()[0].text, T("IDS_MESSAGEBOX_LISTS_HELD"));
        QCOMPARE(second.Rows().AddFiles({third}), 1);
        QVERIFY(!second.KeptList().Flush());
    }
    QCOMPARE(ListStore(QStringLiteral("movie")).Load(), kept);

    QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(QDir(folders.SaveFolder()).entryList(QDir::Files).size(), 1); // the first was converted
    QVERIFY(QFile::remove(gone));

    // The killed copy's lock is taken over; its list comes back, the converted row with it.
    ScriptedMessageBox box(IDOK);
    MovieWindow window(nullptr, SkinDialog::Kind::Window);
    QCOMPARE(Shown(window),
             (QList<KeptRow>{{done, false, RowStatus::Complete,
                              LastRun::Converted(QDir(folders.SaveFolder()).filePath("done.mp4"))},
                             {hold, true, RowStatus::Waiting, {}},
                             {third, true, RowStatus::Waiting, {}},
                             {gone, false, RowStatus::Failed, LastRun::Failed(Reason::Of(ReasonKind::SourceGone))}}));
    QVERIFY(StatusTextsMatch(window));
    QFile log(RunLogPath()); // and the killed run's entry says so
    QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains("Ended: unknown\nRun end: did not finish\n"));
}

// A run's rows, set waiting by the next run's start, still say how they ended, and come back
// so after a restart.
void TstListSurvives::imageListAfterRestart()
{
    FreshStateFolder state;
    QTemporaryDir dir;
    QStringList paths;
    for (const char *name : {"a.jpg", "b c.png", "d.gif"}) {
        paths << dir.path() + "/" + name;
        QFile f(paths.last());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not decoded here");
    }
    ScriptedMessageBox box(IDOK);
    const LastRun converted = LastRun::Converted("/out/a.jpg"), failed = LastRun::Failed(Reason::Image(3));
    {
        ImageWindow window(nullptr, SkinDialog::Kind::Window);
        JobListModel &model = window.Rows().Model();
        QCOMPARE(model.RowCount(), 0);
        QCOMPARE(window.Rows().AddFiles(paths), 3);
        model.SetChecked(model.IdAt(1), false);
        window.Rows().ShowFileEnd({model.IdAt(0), paths[0], converted.output, Outcome::Done, {}});
        window.Rows().ShowFileEnd({model.IdAt(2), paths[2], {}, Outcome::Failed, failed.reason});
        window.Rows().ShowAllWaiting(); // as the next run starts
        QCOMPARE(model.index(0, 2).data(Qt::ToolTipRole).toString(), T("IDS_LAST_RUN_CONVERTED").arg(converted.output));
        QCOMPARE(model.index(2, 2).data(Qt::ToolTipRole).toString(),
                 T("IDS_LAST_RUN_FAILED").arg(ReasonText(failed.reason)));
    }
    ImageWindow again(nullptr, SkinDialog::Kind::Window);
    QCOMPARE(Shown(again), (QList<KeptRow>{{paths[0], false, RowStatus::Complete, converted},
                                           {paths[1], false, RowStatus::Waiting, {}},
                                           {paths[2], false, RowStatus::Failed, failed}}));
    QVERIFY(StatusTextsMatch(again));
}

QTEST_MAIN(TstListSurvives)
#include "tst_list_survives.moc"
