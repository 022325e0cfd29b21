// Both modes' runs through the one Run interface, where they behave alike: what Start refuses,
// the order of states, and a run that finishes, is cancelled or is stopped ending once. Movies
// on the script engine, pictures real.

#include "movie_test_support.h"

#include "image/image_run.h"
#include "image/image_window.h"
#include "image/tests/test_pictures.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "widgets/progress_bar_ctrl.h"

#include <QMap>

#include <QTest>

namespace {

const QString kFinish = QStringLiteral("progress 50 1\noutput\nfinish\n");
const QString kHold = QStringLiteral("progress 10 1\n"); // then waits for stop

} // namespace

class TstRuns : public QObject {
    Q_OBJECT

private slots:
    void startStatesAndEnd_data();
    void startStatesAndEnd();
    void figuresStayApart_data();
    void figuresStayApart();
};

void TstRuns::startStatesAndEnd_data()
{
    QTest::addColumn<bool>("movie");
    QTest::addColumn<QString>("how");
    QTest::addColumn<RunEnd>("end");
    for (bool movie : {true, false}) {
        const char *mode = movie ? "movie" : "image";
        QTest::addRow("%s, finished", mode) << movie << "finish" << RunEnd::Finished;
        QTest::addRow("%s, cancelled", mode) << movie << "cancel" << RunEnd::Cancelled;
        QTest::addRow("%s, stopped", mode) << movie << "stop" << RunEnd::Stopped;
    }
}

void TstRuns::startStatesAndEnd()
{
    QFETCH(bool, movie);
    QFETCH(QString, how);
    QFETCH(RunEnd, end);
    RunFixture movies;
    ImageRun pictures;
    Run &run = movie ? static_cast<Run &>(movies.Run()) : pictures;
    RunRequest request;
    if (movie) {
        movies.AddJob(how == "finish" ? kFinish : kHold);
        movies.AddJob(kFinish);
        request = movies.Request();
    } else {
        request.box = QSize(720, 480);
        request.outputFolder = OutputFolder(movies.SaveFolder());
        for (int i = 0; i < 2; ++i) {
            request.jobs.append({i, movies.InputFolder() + QString::number(i) + ".jpg"});
            QVERIFY(testpic::WriteJpeg(request.jobs.last().sourcePath, testpic::Photo(800, 600)));
        }
    }
    QSignalSpy states(&run, &Run::stateChanged);
    QSignalSpy fileEnds(&run, &Run::fileEnded);
    QSignalSpy runEnds(&run, &Run::runEnded);
    // Held before the first file, so that there is a run to cancel or stop.
    if (how != "finish")
        connect(
            &run, &Run::stateChanged, &run, [&run] { run.Pause(); }, Qt::SingleShotConnection);
    QVERIFY(!run.Start({})); // no job
    QCOMPARE(states.size(), 0);
    QVERIFY(run.Start(request));
    QVERIFY(!run.Start(request)); // active
    if (how != "finish") {
        QTRY_COMPARE_WITH_TIMEOUT(run.CurrentState(), Run::State::Paused, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!movie || movies.EngineLog(request.jobs[0].sourcePath).contains("paused=1"), 10000);
        how == "cancel" ? run.Cancel() : run.Stop();
        QCOMPARE(run.CurrentState(), Run::State::Stopping);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!run.IsActive(), 20000);
    QCoreApplication::processEvents(); // nothing more may come

    QList<Run::State> order;
    for (const QVariantList &args : states)
        order << args[0].value<Run::State>();
    QCOMPARE(order.first(), Run::State::Starting);
    QCOMPARE(order.count(Run::State::Ended), 1);
    QCOMPARE(order.last(), Run::State::Ended);
    QVERIFY(!order.contains(Run::State::Idle));
    QCOMPARE(order.contains(Run::State::Stopping), how != "finish");
    QCOMPARE(runEnds.size(), 1);
    const RunSummary summary = runEnds[0][0].value<RunSummary>();
    QCOMPARE(summary.end, end);
    QCOMPARE(summary.files.size(), fileEnds.size());
    // What was finished is done; a file still in work went back to waiting.
    const Outcome left = end == RunEnd::Cancelled ? Outcome::Cancelled : Outcome::Stopped;
    for (const FileEnd &file : summary.files)
        QCOMPARE(file.outcome, end == RunEnd::Finished ? Outcome::Done : left);
    QCOMPARE(summary.Count(Outcome::Done), end == RunEnd::Finished ? 2 : 0);
}

void TstRuns::figuresStayApart_data()
{
    QTest::addColumn<bool>("movie");
    QTest::addColumn<int>("current");
    QTest::newRow("movie") << true << 100;
    QTest::newRow("image, a picture done") << false << 100;
    QTest::newRow("image, a picture in work") << false << 0;
}

// Both pages at their widest figures: each label holds its text, none runs into the next, and
// the current figure is the bar's.
void TstRuns::figuresStayApart()
{
    QFETCH(bool, movie);
    QFETCH(int, current);
    MovieWindow movies(nullptr, SkinDialog::Kind::Window);
    ImageWindow pictures(nullptr, SkinDialog::Kind::Window);
    ConverterPage &page = movie ? static_cast<ConverterPage &>(movies) : pictures;
    Run &run = movie ? static_cast<Run &>(movies.Run()) : pictures.Run();
    emit run.progressChanged({120, 120, 119, current, 100, 359999, 99.99f, 359999, 359999});
    QCOMPARE(page.CurrentBar()->Position(), current);
    QMap<int, QMap<int, ImageButton *>> lines; // by y, then x
    for (ImageButton *label : page.findChildren<ImageButton *>()) {
        if (label->y() > 330 && label->y() < 390 && label->x() < 500)
            lines[label->y()][label->x()] = label;
    }
    QCOMPARE(lines.size(), 2);
    for (const QMap<int, ImageButton *> &line : lines) {
        int end = 0;
        for (ImageButton *label : line) {
            QVERIFY2(label->x() > end && label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->text()));
            end = label->geometry().right();
            if (label->text().startsWith(Lang::Get("IDS_CURRENT_TITLE")))
                QVERIFY(label->text().endsWith(QStringLiteral(" %1%").arg(current)));
        }
    }
}

QTEST_MAIN(TstRuns)
#include "tst_runs.moc"
