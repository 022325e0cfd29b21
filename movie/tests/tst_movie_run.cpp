// The movie run without any window, against a real engine process (the script engine): how a
// file ends and why, the watchdog, the progress figures, pause, cancel and stop.

#include "movie_test_support.h"

#include "encode/encoder_args_builder.h"
#include "run/state_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

const QString kFinish = QStringLiteral("progress 50 1\noutput\nfinish\n");
const QString kHold = QStringLiteral("progress 10 1\n"); // then waits for stop

} // namespace

class TstMovieRun : public QObject {
    Q_OBJECT

private slots:
    void fileEnd_data();
    void fileEnd();
    void missingEngineEndsTheRunAtOnce();
    void jobThatCannotBePreparedFailsWithoutEngine();
    void removedSaveFolderIsMadeAgain();
    void reportsFromAnEarlierEngineAreIgnored();
    void stallWatchdog_data();
    void stallWatchdog();
    void progressFigures_data();
    void progressFigures();
    void pauseNeverFailsNorAdvances();
    void fileEndingWhilePausedHoldsTheNext();
    void cancelLeavesWhatStandsAtTheOutputName();
    void cancelLetsTheEngineGo_data();
    void cancelLetsTheEngineGo();
    void stoppingTakesAFinishAlreadyReported_data();
    void stoppingTakesAFinishAlreadyReported();
    void timeLeftFollowsTheSpeed();
    void runIsLogged();
};

// Each way a file can end, followed by a good file: the run goes on to it and ends once.
// Nothing at the output name is ever removed by the run: the engine names only complete
// outputs, and anything else there is someone else's.
void TstMovieRun::fileEnd_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<Reason>("reason");
    QTest::addColumn<bool>("outputThere");

    const int done = int(Outcome::Done), failed = int(Outcome::Failed);
    QTest::newRow("finished with output") << kFinish << done << Reason{} << true;
    QTest::newRow("finished without output") << "progress 100 2\nfinish\n"
                                             << failed << Reason::Of(ReasonKind::NoOutput) << false;
    QTest::newRow("failure code, a file at the name") << "progress 5 1\noutput\nfail 5\n"
                                                      << failed << Reason::Engine(5) << true;
    QTest::newRow("failure without code") << "failempty\n" << failed << Reason::Engine(65534) << false;
    QTest::newRow("ignores stop after finishing") << "output\nfinish\nignorestop\n" << done << Reason{} << true;
    QTest::newRow("never connects") << "never\n" << failed << Reason::Of(ReasonKind::EngineLost) << false;
}

void TstMovieRun::fileEnd()
{
    QFETCH(QString, script);
    QFETCH(int, outcome);
    QFETCH(Reason, reason);
    QFETCH(bool, outputThere);
    RunFixture f;
    f.AddJob(script);
    f.AddJob(kFinish);
    QVERIFY(f.Start());
    QVERIFY(f.WaitForEnd());

    const QList<FileEnd> ends = f.Ends();
    QCOMPARE(ends.size(), 2);
    QCOMPARE(int(ends[0].outcome), outcome);
    QCOMPARE(ends[0].reason, reason);
    QCOMPARE(ends[0].outputPath, f.SaveFolder() + "clip0.mp4");
    QCOMPARE(ends[1].outcome, Outcome::Done);
    QCOMPARE(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"), outputThere);
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip1.mp4"));

    const QList<RunSummary> summaries = f.Summaries();
    QCOMPARE(summaries.size(), 1);
    QCOMPARE(summaries[0].end, RunEnd::Finished);
    QCOMPARE(summaries[0].files.size(), 2);
    QVERIFY(summaries[0].sourcesMayGo);
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Ended);
    QVERIFY(NoChildLeft());
    QVERIFY(!f.Run().HoldsPowerInhibit());
    QVERIFY(!f.Run().IsTimerActive());
}

// With no engine program nothing can be converted: the run ends at the first file, which is
// not at fault and goes back to waiting, and nothing follows that a finished run would do.
void TstMovieRun::missingEngineEndsTheRunAtOnce()
{
    RunFixture f;
    f.Engine().SetEnginePath("/nonexistent/folder/mencoder");
    f.AddJob(kFinish);
    f.AddJob(kFinish);
    QVERIFY(f.Start());
    QVERIFY(f.WaitForEnd());
    const QList<FileEnd> ends = f.Ends();
    QCOMPARE(ends.size(), 1);
    QCOMPARE(ends[0].outcome, Outcome::Stopped);
    QCOMPARE(ends[0].reason, Reason::Of(ReasonKind::EngineMissing));
    QCOMPARE(f.Summaries().size(), 1);
    QCOMPARE(f.Summaries()[0].end, RunEnd::EngineMissing);
    QVERIFY(!f.Run().HoldsPowerInhibit());
}

void TstMovieRun::jobThatCannotBePreparedFailsWithoutEngine()
{
    RunFixture f;
    // Too long a path for the engine's command line once in Base64.
    QString deep = f.InputFolder();
    for (int i = 0; i < 4; ++i)
        deep += QString(100, QChar('a' + i)) + '/';
    QVERIFY(QDir().mkpath(deep));
    const QString input = f.Script("clip.mp4", kFinish, deep);
    f.Request().jobs.append({0, input});
    f.AddJob(kFinish);
    QVERIFY(f.Start());
    QVERIFY(f.WaitForEnd());
    const QList<FileEnd> ends = f.Ends();
    QCOMPARE(ends.size(), 2);
    QCOMPARE(ends[0].outcome, Outcome::Failed);
    QCOMPARE(ends[0].reason.kind, ReasonKind::Preparation);
    QVERIFY(ends[0].reason.code != int(EngineArgsError::None));
    QCOMPARE(ends[1].outcome, Outcome::Done);
    QVERIFY(f.EngineLog(input).isEmpty()); // no engine ever saw it
    QVERIFY(!QFileInfo::exists(f.SaveFolder() + "clip.mp4"));
}

void TstMovieRun::removedSaveFolderIsMadeAgain()
{
    RunFixture f;
    f.AddJob(kFinish);
    QVERIFY(QDir(f.SaveFolder()).removeRecursively());
    QVERIFY(f.Start());
    QVERIFY(f.WaitForEnd());
    QCOMPARE(f.Ends()[0].outcome, Outcome::Done);
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));
}

// The failure and then the finish of one engine both come; the finish must not count for the
// file, nor for the one started after it.
void TstMovieRun::reportsFromAnEarlierEngineAreIgnored()
{
    RunFixture f;
    f.AddJob("output\nfail 1\nfinish\nprogress 77 3\n");
    f.AddJob(kHold);
    QVERIFY(f.Start());
    QTRY_VERIFY(f.Run().CurrentId() == 1 && f.Run().CurrentState() == MovieRun::State::Converting);
    QCoreApplication::processEvents();
    QCOMPARE(f.Ends().size(), 1);
    QCOMPARE(f.Ends()[0].reason, Reason::Engine(1));
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Converting);
    QCOMPARE(f.Run().CurrentId(), 1);
}

void TstMovieRun::stallWatchdog_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("engineAlive");
    QTest::addColumn<int>("failingTick");

    QTest::newRow("never reports, alive") << "" << true << 34;
    QTest::newRow("never reports, ended") << "die 0\n" << false << 17;
    QTest::newRow("crashes mid-file") << "progress 30 2\nsleep 100\ndie 11\n" << false << 17;
    QTest::newRow("stops moving, alive") << "progress 30 2\n" << true << 34;
}

void TstMovieRun::stallWatchdog()
{
    QFETCH(QString, script);
    QFETCH(bool, engineAlive);
    QFETCH(int, failingTick);

    RunFixture f;
    f.AddJob(script);
    f.AddJob(kHold);
    QVERIFY(f.Start());
    QVERIFY(f.WaitUntilSettled());
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Converting);
    if (script.startsWith("progress")) {
        QTRY_COMPARE(f.Run().LastStatus().Percent, 30);
        f.Tick(); // the one tick that sees the position move
    }
    if (!engineAlive)
        QTRY_VERIFY(!f.Engine().IsAlive());

    f.Tick(failingTick - 1);
    QCOMPARE(f.Run().CurrentId(), 0);
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Converting);
    f.Tick();
    QVERIFY(f.WaitUntilSettled());
    QCOMPARE(f.Ends().size(), 1);
    QCOMPARE(f.Ends()[0].outcome, Outcome::Failed);
    QCOMPARE(f.Ends()[0].reason, Reason::Stall(failingTick));
    QCOMPARE(f.Run().CurrentId(), 1); // and the run goes on
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Converting);
}

// Jobs: "p<percent>" converts and holds at that percentage, "done" finishes.
void TstMovieRun::progressFigures_data()
{
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("fileNumber");

    QTest::newRow("first of three at 50") << QStringList{"p50", "done", "done"} << 16 << 1;
    QTest::newRow("second of three at 100") << QStringList{"done", "p100", "done"} << 66 << 2;
    QTest::newRow("third of three at 99") << QStringList{"done", "done", "p99"} << 99 << 3;
    QTest::newRow("second of two at 40") << QStringList{"done", "p40"} << 70 << 2;
}

void TstMovieRun::progressFigures()
{
    QFETCH(QStringList, jobs);
    QFETCH(int, total);
    QFETCH(int, fileNumber);

    RunFixture f;
    int percent = 0;
    for (const QString &job : jobs) {
        if (job.startsWith('p')) {
            percent = job.mid(1).toInt();
            f.AddJob(QStringLiteral("progress %1 7.25\n").arg(percent));
        } else {
            f.AddJob(kFinish);
        }
    }
    QVERIFY(f.Start());
    QTRY_VERIFY_WITH_TIMEOUT(
        f.Run().LastStatus().Percent == percent && f.Run().CurrentState() == MovieRun::State::Converting, 10000);
    f.Tick();
    RunProgress p = f.Progress().last();
    QCOMPARE(p.currentPercent, percent);
    QCOMPARE(p.totalPercent, total);
    QCOMPARE(p.fileNumber, fileNumber);
    QCOMPARE(p.totalFiles, int(jobs.size()));
    // The first counted tick of the run shows one second and the position gained since 0.
    QCOMPARE(p.elapsedSeconds, 1);
    QCOMPARE(p.speedFactor, 7.25f);
    f.Tick();
    p = f.Progress().last();
    QCOMPARE(p.speedFactor, 0.0f);
    QCOMPARE(p.elapsedSeconds, 2);
}

void TstMovieRun::pauseNeverFailsNorAdvances()
{
    RunFixture f;
    f.AddJob(kHold);
    const QString input = f.Request().jobs[0].sourcePath;
    QVERIFY(f.Start());
    QTRY_COMPARE(f.Run().LastStatus().Percent, 10);
    f.Tick(3);
    QCOMPARE(f.Run().ElapsedSeconds(), 3);

    QSignalSpy states(&f.Run(), &MovieRun::stateChanged);
    f.Run().Pause();
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Paused);
    QCOMPARE(states.size(), 1);
    QTRY_VERIFY(f.EngineLog(input).contains("paused=1"));

    f.Tick(200);
    QVERIFY(f.Ends().isEmpty());
    QCOMPARE(f.Run().ElapsedSeconds(), 3);

    f.Run().Resume();
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Converting);
    QTRY_VERIFY(f.EngineLog(input).endsWith("paused=0"));
    f.Tick();
    QCOMPARE(f.Run().ElapsedSeconds(), 4);
}

void TstMovieRun::fileEndingWhilePausedHoldsTheNext()
{
    RunFixture f;
    f.AddJob("sleep 300\noutput\nfinish\n");
    f.AddJob("progress 10 1\nstep\nprogress 20 2\nstep\nprogress 30 3\n");
    f.Run().SetLoads({std::nullopt, MovieLoad{10, 1}});
    QVERIFY(f.Start());
    QVERIFY(f.WaitUntilSettled());
    f.Run().Pause();
    f.Tick(3);
    // The next file's engine starts held: the run stays paused, nothing counted, nothing shown.
    const QString next = f.Request().jobs[1].sourcePath;
    QTRY_VERIFY_WITH_TIMEOUT(f.EngineLog(next).contains("paused=1"), 10000);
    QVERIFY(f.Run().CurrentId() == 1 && f.Run().CurrentState() == MovieRun::State::Paused);
    QVERIFY(f.Progress().isEmpty());
    f.Run().Resume();
    QTRY_VERIFY(f.EngineLog(next).endsWith("paused=0"));
    QTRY_COMPARE(f.Run().CurrentState(), MovieRun::State::Converting);
    // The run's clock goes on with the new file: its speed gives a time left.
    for (int step = 1; step <= 3; ++step) {
        QTRY_COMPARE(f.Run().LastStatus().Position, double(step));
        f.Tick();
        QFile(next + ".go" + QString::number(step)).open(QIODevice::WriteOnly);
    }
    QCOMPARE(f.Progress().last().fileSecondsLeft, 7);
}

// The script's output stands for a file of the user's that appeared at the output name while
// the engine worked: a cancel must leave it alone.
void TstMovieRun::cancelLeavesWhatStandsAtTheOutputName()
{
    RunFixture f;
    f.AddJob(kFinish);
    f.AddJob("output\nprogress 20 3\n");
    f.AddJob(kFinish);
    QVERIFY(f.Start());
    QTRY_VERIFY_WITH_TIMEOUT(f.Run().CurrentId() == 1 && QFileInfo::exists(f.SaveFolder() + "clip1.mp4"), 10000);

    f.Run().Cancel();
    QVERIFY(f.WaitForEnd());
    QVERIFY(!f.Engine().IsAlive());
    QVERIFY(NoChildLeft());
    const QList<FileEnd> ends = f.Ends();
    QCOMPARE(ends.size(), 2);
    QCOMPARE(ends[0].outcome, Outcome::Done);
    QCOMPARE(ends[1].outcome, Outcome::Cancelled);
    QCOMPARE(f.Summaries().size(), 1);
    QCOMPARE(f.Summaries()[0].end, RunEnd::Cancelled);
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip1.mp4"));
    QVERIFY(!f.Run().HoldsPowerInhibit());
    QVERIFY(!f.Run().IsTimerActive());
    // Whatever was still queued changes nothing now.
    QCoreApplication::processEvents();
    QCOMPARE(f.Ends().size(), 2);
}

// Cancel returns at once; the engine goes while the event loop turns: at the stop message,
// killed by the timer when it ignores it, stopped by a signal before it has connected.
void TstMovieRun::cancelLetsTheEngineGo_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("answers the stop") << kHold;
    QTest::newRow("ignores the stop") << "progress 10 1\nignorestop\n";
    QTest::newRow("before it connects") << "never\n";
}

void TstMovieRun::cancelLetsTheEngineGo()
{
    QFETCH(QString, script);
    RunFixture f;
    f.AddJob(script);
    f.AddJob(kFinish);
    QVERIFY(f.Start());
    QTRY_VERIFY(f.Engine().IsAlive()
                && (script.startsWith("never") || f.Run().CurrentState() == MovieRun::State::Converting));
    f.Run().Cancel();
    // Not waited for here: the run hears the engine's end later (whether it is already gone
    // is the scheduler's business, not the run's).
    QCOMPARE(f.Run().CurrentState(), MovieRun::State::Stopping);
    QVERIFY(f.WaitForEnd());
    QCOMPARE(f.Ends().size(), 1);
    QCOMPARE(f.Ends()[0].outcome, Outcome::Cancelled);
    QCOMPARE(f.Summaries()[0].end, RunEnd::Cancelled);
    QCOMPARE(f.EngineLog(f.Request().jobs[0].sourcePath).contains("stop"), !script.startsWith("never"));
    QVERIFY(NoChildLeft());
}

// The engine finished and went, but its finish has not been handled yet when the user
// cancels or closes: the file is converted, not cancelled, and the run goes no further.
void TstMovieRun::stoppingTakesAFinishAlreadyReported_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancel") << true;
    QTest::newRow("stop") << false;
}

void TstMovieRun::stoppingTakesAFinishAlreadyReported()
{
    QFETCH(bool, cancel);
    RunFixture f;
    f.AddJob("output\nstep\nfinish\ndie 0\n");
    f.AddJob(kFinish);
    QVERIFY(f.Start());
    QVERIFY(f.WaitUntilSettled());
    QFile(f.Request().jobs[0].sourcePath + ".go1").open(QIODevice::WriteOnly);
    QVERIFY(WaitForExit(f.Engine().Pid(), 20000));
    QVERIFY(f.Ends().isEmpty());
    if (cancel)
        f.Run().Cancel();
    else
        f.Run().Stop();
    QVERIFY(f.WaitForEnd());
    const QList<FileEnd> ends = f.Ends();
    QCOMPARE(ends.size(), 1);
    QCOMPARE(ends[0].outcome, Outcome::Done);
    QCOMPARE(f.Summaries().last().end, cancel ? RunEnd::Cancelled : RunEnd::Stopped);
    QVERIFY(QFileInfo::exists(f.SaveFolder() + "clip0.mp4"));
    QVERIFY(!QFileInfo::exists(f.SaveFolder() + "clip1.mp4"));
}

// The engine moves two seconds of media per tick on the first file and six on the second; a
// pause stops the clock and keeps the estimate.
void TstMovieRun::timeLeftFollowsTheSpeed()
{
    RunFixture f;
    QString first, second;
    for (int i = 1; i <= 10; ++i)
        first += QStringLiteral("progress %1 %2\nstep\n").arg(i * 10).arg(2 * i);
    first += "output\nfinish\n";
    for (int i = 1; i <= 6; ++i)
        second += QStringLiteral("progress %1 %2\nstep\n").arg(i * 10).arg(6 * i);
    f.AddJob(first);
    f.AddJob(second);
    f.AddJob(kHold);
    f.Run().SetLoads({MovieLoad{20, 1}, MovieLoad{60, 1}, MovieLoad{30, 1}});
    QVERIFY(f.Start());
    // Tick once the engine has reported the position meant, then let it go on.
    auto tickAt = [&](int job, int step, double position) {
        QTRY_COMPARE_WITH_TIMEOUT(f.Run().LastStatus().Position, position, 10000);
        f.Tick();
        QFile(f.Request().jobs[job].sourcePath + ".go" + QString::number(step)).open(QIODevice::WriteOnly);
    };
    for (int i = 1; i <= 3; ++i)
        tickAt(0, i, 2.0 * i);
    RunProgress p = f.Progress().last();
    QCOMPARE(p.fileSecondsLeft, 7);       // 14 s of media at 2 a second
    QCOMPARE(p.batchSecondsLeft, 7 + 45); // and 90 more

    f.Run().Pause();
    const int shown = int(f.Progress().size());
    f.Tick(20);
    QCOMPARE(int(f.Progress().size()), shown); // nothing counted, nothing shown
    f.Run().Resume();
    tickAt(0, 4, 8.0);
    QCOMPARE(f.Progress().last().batchSecondsLeft, 7 + 45 - 1); // on from where it stood
    for (int i = 5; i <= 10; ++i)
        tickAt(0, i, 2.0 * i);
    QTRY_COMPARE_WITH_TIMEOUT(f.Run().CurrentId(), 1, 10000);
    for (int i = 1; i <= 4; ++i)
        tickAt(1, i, 6.0 * i);
    p = f.Progress().last();
    QCOMPARE(p.fileSecondsLeft, 6); // its own speed: 36 s at 6 a second
    QVERIFY(p.batchSecondsLeft < 7 + 45);
    QCOMPARE(p.batchSecondsLeft, 6 + 10); // 30 s at 44/14 a second
}

void TstMovieRun::runIsLogged()
{
    RunFixture f;
    f.AddJob("progress 5 1\nfail 13\n");
    f.AddJob(kFinish);
    QVERIFY(f.Start());
    QVERIFY(f.WaitForEnd());
    QFile log(RunLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    QVERIFY(text.contains("Mode: movie"));
    QVERIFY(text.contains("Run end: finished"));
    QVERIFY(text.contains("Source: " + f.Request().jobs[0].sourcePath));
    QVERIFY(text.contains("Reason: engine 13 (IDS_REASON_ENGINE_13): cut short or damaged"));
    QVERIFY(text.contains("Outcome: done"));
    // What the engine was started with, for both files.
    QCOMPARE(text.count(QRegularExpression("Engine arguments: .* -ofps 30 .* -o \"")), 2);
    QVERIFY(text.contains("Engine arguments:  \"" + f.Request().jobs[0].sourcePath + "\" ")); // not in Base64
}

QTEST_MAIN(TstMovieRun)
#include "tst_movie_run.moc"
