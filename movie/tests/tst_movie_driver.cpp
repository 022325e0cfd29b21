// The conversion driver against a real engine process (the script engine), through the real
// movie page offscreen: outcomes of a file, the watchdog, the progress figures, pause, cancel
// and exit.

#include "movie_test_support.h"

#include "shell/image_button.h"
#include "shell/lang.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QThread>

namespace {

const int kWaiting = 0, kConverting = 2, kFailed = 3, kComplete = 4;
const QString kFinish = QStringLiteral("progress 50 1\noutput\nfinish\n");
const QString kHold = QStringLiteral("progress 10 1\n");   // then waits for stop

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

} // namespace

class TstMovieDriver : public QObject {
    Q_OBJECT

private slots:
    void engineOutcome_data();
    void engineOutcome();
    void engineMissingShowsCreationErrorOnce();
    void jobThatCannotBePreparedFailsWithoutEngine();
    void removedSaveFolderIsMadeAgain();
    void reportsFromAnEarlierEngineAreIgnored();
    void stallWatchdog_data();
    void stallWatchdog();
    void progressFigures_data();
    void progressFigures();
    void pauseNeverFailsNorAdvances();
    void fileEndingWhilePausedShowsOnlyPause();
    void cancelKeepsEarlierRowsAndRemovesPartialOutput();
    void newRunResetsStatusesAndCountsCheckedRows();
    void exitMidFile();
    void convertRefusals();
};

// Each way a file can end, followed by a good file: the run must go on to it and end once.
void TstMovieDriver::engineOutcome_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("outputKept");

    QTest::newRow("finished with output") << kFinish << kComplete << true;
    QTest::newRow("finished without output") << "progress 100 2\nfinish\n" << kFailed << false;
    QTest::newRow("failure code") << "progress 5 1\noutput\nfail 5\n" << kFailed << false;
    QTest::newRow("failure without code") << "failempty\n" << kFailed << false;
    QTest::newRow("ignores stop after finishing") << "output\nfinish\nignorestop\n" << kComplete << true;
    QTest::newRow("ignores stop after failing") << "output\nignorestop\nfail 9\n" << kFailed << false;
    QTest::newRow("never connects") << "never\n" << kFailed << false;
}

void TstMovieDriver::engineOutcome()
{
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(bool, outputKept);
    MovieFixture f;
    f.AddScripts({script, kFinish});
    f.Driver().StartNextFile();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Driver().IsRunStarted(), 15000);

    QCOMPARE(f.Statuses(), (QList<int>{status, kComplete}));
    QVERIFY(!f.List().IsChecked(0));
    QVERIFY(!f.List().IsChecked(1));
    QCOMPARE(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"), outputKept);
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip1.mp4"));
    QCOMPARE(f.BoxTexts(), QStringList{T("IDS_MESSAGEBOX_CONVERT_END")});
    QVERIFY(NoChildLeft());
    QVERIFY(!f.Driver().HoldsPowerInhibit());
    QVERIFY(!f.Driver().IsTimerActive());
    // Idle again: Convert back, editing controls usable.
    const MovieControls &c = f.Window().Controls();
    QVERIFY(c.convert->isVisible());
    QVERIFY(!c.pause->isVisible());
    QCOMPARE(c.cancel->State(), ImageButton::StateSelected);
    QCOMPARE(c.add->State(), ImageButton::StateNormal);
    QVERIFY(f.List().isEnabled());
    QCOMPARE(c.folderLabel->text(), f.SaveFolder());
}

void TstMovieDriver::engineMissingShowsCreationErrorOnce()
{
    MovieFixture f;
    f.Window().Engine().SetEnginePath("/nonexistent/folder/mencoder");
    f.AddScripts({kFinish, kFinish});
    f.Driver().StartNextFile();
    QVERIFY(!f.Driver().IsRunStarted());
    QCOMPARE(f.Statuses(), (QList<int>{kFailed, kFailed}));
    const auto questions = f.Box().Questions();
    QCOMPARE(questions.size(), 2);
    QCOMPARE(questions[0].text, T("IDS_ERR_ENGINE_CREATE_FAIL"));
    QCOMPARE(questions[0].caption, T("IDS_WORD_ERROR"));
    QCOMPARE(questions[1].text, T("IDS_MESSAGEBOX_CONVERT_END"));
    QVERIFY(f.Window().Controls().convert->isVisible());
}

void TstMovieDriver::jobThatCannotBePreparedFailsWithoutEngine()
{
    MovieFixture f;
    // Too long a path for the engine's command line once in Base64.
    QString deep = f.InputFolder();
    for (int i = 0; i < 4; ++i)
        deep += QString(100, QChar('a' + i)) + '/';
    QVERIFY(QDir().mkpath(deep));
    const QString input = f.Script("clip.mp4", kFinish, deep);
    QVERIFY(f.Window().Jobs().AddJobFile(input));
    f.AddScripts({kFinish});
    f.Driver().StartNextFile();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Driver().IsRunStarted(), 10000);
    QCOMPARE(f.Statuses(), (QList<int>{kFailed, kComplete}));
    QVERIFY(f.EngineLog(input).isEmpty());   // no engine ever saw it
    QVERIFY(!QFileInfo::exists(f.SaveFolder() + "clip.mp4"));
}

void TstMovieDriver::removedSaveFolderIsMadeAgain()
{
    MovieFixture f;
    f.AddScripts({kFinish});
    QVERIFY(QDir(f.SaveFolder()).removeRecursively());
    f.Driver().StartNextFile();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Driver().IsRunStarted(), 15000);
    QCOMPARE(f.Statuses(), QList<int>{kComplete});
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));
}

// The failure and then the finish of one engine both queue up; the finish must not count for
// the file started after the failure.
void TstMovieDriver::reportsFromAnEarlierEngineAreIgnored()
{
    MovieFixture f;
    f.AddScripts({"output\nfail 1\nfinish\nprogress 77 3\n", kHold});
    f.Driver().StartNextFile();
    // Wait without dispatching until the report after both has arrived: the failure and the
    // finish are then both queued for the window thread.
    for (int i = 0; i < 1000 && f.Driver().StatusCopy().Load().Percent != 77; ++i)
        QThread::msleep(10);
    QCOMPARE(f.Driver().StatusCopy().Load().Percent, 77);
    QVERIFY(f.WaitUntilSettled());
    QCoreApplication::processEvents();
    QCOMPARE(f.Statuses(), (QList<int>{kFailed, kConverting}));
    QVERIFY(f.Driver().IsFileActive());
    QCOMPARE(f.Driver().CurrentRow(), 1);
}

void TstMovieDriver::stallWatchdog_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("engineAlive");
    QTest::addColumn<int>("failingTick");

    QTest::newRow("never reports, alive") << "" << true << 34;
    QTest::newRow("never reports, ended") << "die 0\n" << false << 17;
    QTest::newRow("crashes mid-file") << "progress 30 2\nsleep 100\ndie 11\n" << false << 17;
    QTest::newRow("stops moving, alive") << "progress 30 2\n" << true << 34;
}

void TstMovieDriver::stallWatchdog()
{
    QFETCH(QString, script);
    QFETCH(bool, engineAlive);
    QFETCH(int, failingTick);

    MovieFixture f;
    f.AddScripts({script, kHold});
    f.Driver().StartNextFile();
    QVERIFY(f.Driver().IsFileActive());
    if (script.startsWith("progress")) {
        QTRY_COMPARE(f.Driver().StatusCopy().Load().Percent, 30);
        f.Tick();   // the one tick that sees the position move
    }
    if (!engineAlive)
        QTRY_VERIFY(!f.Window().Engine().IsAlive());

    f.Tick(failingTick - 1);
    QCOMPARE(f.Driver().CurrentRow(), 0);
    QCOMPARE(f.List().RowStatusCode(0), kConverting);
    f.Tick();
    QCOMPARE(f.List().RowStatusCode(0), kFailed);
    QVERIFY(!f.List().IsChecked(0));
    QCOMPARE(f.Driver().CurrentRow(), 1);   // and the run goes on
    QCOMPARE(f.List().RowStatusCode(1), kConverting);
    QVERIFY(!QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));
}

// Rows: "p<percent>" converts and holds at that percentage, "done" finishes, "skip" is
// unchecked.
void TstMovieDriver::progressFigures_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("count");

    QTest::newRow("first of three at 50") << QStringList{"p50", "done", "done"} << "  16%" << "(  1 /  3 )";
    QTest::newRow("second of three at 100") << QStringList{"done", "p100", "done"} << "  66%" << "(  2 /  3 )";
    QTest::newRow("third of three at 99") << QStringList{"done", "done", "p99"} << "  99%" << "(  3 /  3 )";
    QTest::newRow("rows 0 and 2") << QStringList{"done", "skip", "p40"} << "  70%" << "(  2 /  2 )";
}

void TstMovieDriver::progressFigures()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, total);
    QFETCH(QString, count);

    MovieFixture f;
    int percent = 0;
    for (const QString &row : rows) {
        if (row.startsWith('p')) {
            percent = row.mid(1).toInt();
            f.AddScripts({QStringLiteral("progress %1 7.25\n").arg(percent)});
        } else {
            f.AddScripts({kFinish});
        }
    }
    for (int i = 0; i < rows.size(); ++i)
        f.List().SetChecked(i, rows[i] != "skip");

    f.Driver().StartNextFile();
    QTRY_VERIFY_WITH_TIMEOUT(f.Driver().StatusCopy().Load().Percent == percent
                                 && f.Driver().IsFileActive(), 10000);
    f.Tick();

    const MovieControls &c = f.Window().Controls();
    QCOMPARE(c.totalTitle->text(), T("IDS_TOTAL_TITLE") + total);
    QCOMPARE(c.count->text(), count);
    QCOMPARE(c.currentTitle->text(), T("IDS_CURRENT_TITLE") + QString::asprintf(" %3d%%", percent));
    QCOMPARE(c.currentBar->Position(), percent);
    QCOMPARE(c.totalBar->Position(), total.trimmed().chopped(1).toInt());
    // The first counted tick of the run shows one second and the position gained since 0.
    QCOMPARE(c.time->text(), T("IDS_TIME_TITLE") + " 00:00:01");
    QCOMPARE(c.speed->text(), T("IDS_STR_SPEED") + " x7.25");
    f.Tick();
    QCOMPARE(c.speed->text(), T("IDS_STR_SPEED") + " x0.00");
}

void TstMovieDriver::pauseNeverFailsNorAdvances()
{
    MovieFixture f;
    f.AddScripts({kHold});
    const QString input = f.List().RowPath(0);
    f.Driver().StartNextFile();
    QTRY_COMPARE(f.Driver().StatusCopy().Load().Percent, 10);
    f.Tick(3);
    QCOMPARE(f.Driver().ElapsedSeconds(), 3);

    const MovieControls &c = f.Window().Controls();
    QTest::mouseClick(c.pause, Qt::LeftButton);
    QVERIFY(f.Driver().IsPaused());
    QVERIFY(c.resume->isVisible());
    QVERIFY(!c.pause->isVisible());
    QCOMPARE(c.speed->text(), T("IDS_STR_SPEED") + " x0.0");
    QTRY_VERIFY(f.EngineLog(input).contains("paused=1"));
    const QString timeText = c.time->text();

    f.Tick(200);
    QVERIFY(f.Driver().IsFileActive());
    QCOMPARE(f.List().RowStatusCode(0), kConverting);
    QCOMPARE(f.Driver().ElapsedSeconds(), 3);
    QCOMPARE(f.Driver().StallTicks(), 2);
    QCOMPARE(c.time->text(), timeText);

    QTest::mouseClick(c.resume, Qt::LeftButton);
    QVERIFY(!f.Driver().IsPaused());
    QVERIFY(c.pause->isVisible());
    QVERIFY(!c.resume->isVisible());
    QTRY_VERIFY(f.EngineLog(input).endsWith("paused=0"));
    f.Tick();
    QCOMPARE(f.Driver().ElapsedSeconds(), 4);
}

void TstMovieDriver::fileEndingWhilePausedShowsOnlyPause()
{
    MovieFixture f;
    f.AddScripts({"sleep 300\noutput\nfinish\n", kHold});
    f.Driver().StartNextFile();
    f.Driver().Pause();
    QTRY_COMPARE_WITH_TIMEOUT(f.Driver().CurrentRow(), 1, 10000);
    const MovieControls &c = f.Window().Controls();
    QVERIFY(c.pause->isVisible());
    QVERIFY(!c.resume->isVisible());
    QVERIFY(!c.convert->isVisible());
    QVERIFY(!f.Driver().IsPaused());
    QTRY_VERIFY(f.EngineLog(f.List().RowPath(1)).contains("paused=0"));
}

void TstMovieDriver::cancelKeepsEarlierRowsAndRemovesPartialOutput()
{
    MovieFixture f;
    f.AddScripts({kFinish, "output\nprogress 20 3\n", kFinish});
    f.Driver().StartNextFile();
    QTRY_VERIFY_WITH_TIMEOUT(f.Driver().CurrentRow() == 1
                                 && QFileInfo::exists(f.SaveFolder() + "clip1.mp4"), 10000);
    const MovieControls &c = f.Window().Controls();

    f.Box().SetAnswer(IDNO);
    QTest::mouseClick(c.cancel, Qt::LeftButton);
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CANCEL"));
    QVERIFY(f.Driver().IsFileActive());
    QVERIFY(f.Window().Engine().IsAlive());

    f.Box().SetAnswer(IDYES);
    QTest::mouseClick(c.cancel, Qt::LeftButton);
    QVERIFY(!f.Driver().IsRunStarted());
    QVERIFY(!f.Window().Engine().IsAlive());
    QVERIFY(NoChildLeft());
    QCOMPARE(f.Statuses(), (QList<int>{kComplete, kWaiting, kWaiting}));
    QVERIFY(!f.List().IsChecked(0));
    QVERIFY(f.List().IsChecked(1));
    QVERIFY(f.List().IsChecked(2));
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));
    QVERIFY(!QFileInfo::exists(f.SaveFolder() + "clip1.mp4"));
    QVERIFY(QFileInfo::exists(f.List().RowPath(0)));
    // No end message, the window idle, the progress reset.
    QCOMPARE(f.BoxTexts().size(), 2);
    QVERIFY(c.convert->isVisible());
    QCOMPARE(c.cancel->State(), ImageButton::StateSelected);
    QCOMPARE(c.count->text(), "( 0 / 0 )");
    QCOMPARE(c.totalBar->Position(), 0);
    QVERIFY(f.List().isEnabled());
    QVERIFY(f.List().DragAllowed());
    QVERIFY(!f.Driver().HoldsPowerInhibit());
    QVERIFY(!f.Driver().IsTimerActive());
}

void TstMovieDriver::newRunResetsStatusesAndCountsCheckedRows()
{
    MovieFixture f;
    f.AddScripts({kFinish, "failempty\n", kFinish});
    f.Driver().StartNextFile();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Driver().IsRunStarted(), 10000);
    QCOMPARE(f.Statuses(), (QList<int>{kComplete, kFailed, kComplete}));

    f.Script("clip1.mp4", kHold);
    f.List().SetChecked(1, true);
    f.Driver().StartNextFile();
    QVERIFY(f.Driver().IsRunStarted());
    QCOMPARE(f.Driver().TotalFiles(), 1);
    QCOMPARE(f.Statuses(), (QList<int>{kWaiting, kConverting, kWaiting}));
    // The name clip1.mp4 is free again: the failed attempt left nothing behind.
    QCOMPARE(f.Driver().CurrentOutputPath(), f.SaveFolder() + "clip1.mp4");
}

void TstMovieDriver::exitMidFile()
{
    {
        MovieFixture f;
        f.AddScripts({kFinish});
        QVERIFY(f.Window().ConfirmExit());   // nothing converts: no question
        QVERIFY(f.Box().Questions().isEmpty());
    }
    MovieFixture f;
    f.AddScripts({"output\nprogress 40 2\n", kFinish});
    f.Driver().StartNextFile();
    QTRY_VERIFY(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));

    f.Box().SetAnswer(IDNO);
    QVERIFY(!f.Window().ConfirmExit());
    QVERIFY(f.Window().Engine().IsAlive());
    QCOMPARE(f.BoxTexts(), QStringList{T("IDS_MESSAGEBOX_CONVET_EXIT")});

    f.Box().SetAnswer(IDYES);
    QVERIFY(f.Window().close());
    QVERIFY(!f.Window().Engine().IsAlive());
    QVERIFY(NoChildLeft());
    QVERIFY(!QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));
    // No end-of-run action on exit.
    QCOMPARE(f.BoxTexts().size(), 2);
    QVERIFY(QFileInfo::exists(f.List().RowPath(0)));
    // Whatever was still queued for the window changes nothing now.
    QCoreApplication::processEvents();
    QCOMPARE(f.List().RowStatusCode(1), kWaiting);
}

void TstMovieDriver::convertRefusals()
{
    MovieFixture f;
    f.Driver().StartNextFile();
    QCOMPARE(f.BoxTexts(), QStringList{T("IDS_MESSAGEBOX_NO_FILE")});
    QVERIFY(!f.Driver().IsRunStarted());

    f.AddScripts({kHold});
    f.Driver().StartNextFile();
    QVERIFY(f.Driver().IsFileActive());
    f.Driver().StartNextFile();
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CONVERT_INFO"));
    QCOMPARE(f.Driver().FileNumber(), 1);
}

QTEST_MAIN(TstMovieDriver)
#include "tst_movie_driver.moc"
