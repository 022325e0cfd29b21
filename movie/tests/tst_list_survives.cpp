// Both pages' lists across a restart: the movie page's after its process was killed in the
// middle of a run, the image page's after it was closed.

#include "movie_test_support.h"

#include "image/image_window.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/page_list.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

class TstListSurvives : public QObject {
    Q_OBJECT

private slots:
    void movieListAfterKill();
    void imageListAfterRestart();
};

namespace {

// The rows as the page shows them: path, checked, status, reason.
QList<KeptRow> Shown(ConverterPage &page)
{
    QList<KeptRow> rows;
    for (int row = 0; row < page.List().RowCount(); ++row)
        rows.append({page.List().RowPath(row), page.List().IsChecked(row), RowStatus(page.List().RowStatusCode(row)),
                     page.Rows().RowReason(row)});
    return rows;
}

// Each status cell says what its code says.
bool StatusTextsMatch(ConverterPage &page)
{
    for (int row = 0; row < page.List().RowCount(); ++row) {
        if (page.List().ItemText(row, 2) != RowStatusText(page.List().RowStatusCode(row)))
            return false;
    }
    return true;
}

} // namespace

void TstListSurvives::movieListAfterKill()
{
    MovieFolders folders;   // the child inherits its state folder
    const QString done = folders.Script("done.mp4", "output\nfinish\n");
    const QString hold = folders.Script("hold me.mp4", "progress 10 1\n");   // then waits for stop
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
    QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(QDir(folders.SaveFolder()).entryList(QDir::Files).size(), 1);   // the first was converted
    QVERIFY(QFile::remove(gone));

    ScriptedMessageBox box(IDOK);
    MovieWindow window(nullptr, SkinDialog::Kind::Window);
    QCOMPARE(Shown(window), (QList<KeptRow>{{hold, true, RowStatus::Waiting, {}},
                                            {third, true, RowStatus::Waiting, {}},
                                            {gone, false, RowStatus::Failed, Reason::Of(ReasonKind::SourceGone)}}));
    QVERIFY(StatusTextsMatch(window));
}

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
    QList<KeptRow> kept;
    {
        ImageWindow window(nullptr, SkinDialog::Kind::Window);
        QCOMPARE(window.List().RowCount(), 0);
        QCOMPARE(window.Rows().AddFiles(paths), 3);
        window.List().SetChecked(1, false);
        window.Rows().ShowFileEnd({0, paths[0], {}, Outcome::Done, {}});
        window.Rows().ShowFileEnd({2, paths[2], {}, Outcome::Failed, Reason::Image(3)});
        kept = Shown(window).mid(1);
    }
    QCOMPARE(kept, (QList<KeptRow>{{paths[1], false, RowStatus::Waiting, {}},
                                   {paths[2], false, RowStatus::Failed, Reason::Image(3)}}));
    ImageWindow again(nullptr, SkinDialog::Kind::Window);
    QCOMPARE(Shown(again), kept);
    QVERIFY(StatusTextsMatch(again));
}

QTEST_MAIN(TstListSurvives)
#include "tst_list_survives.moc"
