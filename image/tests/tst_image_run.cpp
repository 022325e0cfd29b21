// The image run without a window: progress figures and texts, the settings, the worker and
// the run on real pictures, pause, stop, rows passed by, and each file's end.

#include "image/image_progress.h"
#include "image/image_run.h"
#include "image/image_settings.h"
#include "platform/registry.h"
#include "run/end_actions.h"
#include "run/run_log.h"
#include "run/state_folder.h"
#include "test_pictures.h"

#include <QDir>
#include <QHash>
#include <QImageReader>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>

#include <unistd.h>

using namespace testpic;

class TestImageRun : public QObject {
    Q_OBJECT

private slots:
    // No test reaches the system bus; the one that counts locks sets its own backend.
    void initTestCase()
    {
        platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
    }
    void percent_data();
    void percent();
    void texts();
    void picturesTimeLeft_data();
    void picturesTimeLeft();
    void settingsDefaultsAndRoundTrip();
    void settingsPartlyReadable();
    void threeRowsSecondUnreadable();
    void rowUncheckedDuringRunIsPassedBy_data();
    void rowUncheckedDuringRunIsPassedBy();
    void keepsTheMachineAwakeWhileRunning();
    void sameNamesAndBadFolders();
    void workerPausesBetweenPictures();
    void workerReportsInListOrder();
    void workerPassesByARowUncheckedWhileDecodedAhead();
    void workerStopsBetweenPictures_data();
    void workerStopsBetweenPictures();
    void clockStandsStillWhilePaused();
    void destroyedMidRunLeavesWholePictures();

private:
    // A folder with n photos a.jpg, b.jpg, ... and an output folder beside them.
    RunRequest MakeBatch(const QTemporaryDir &dir, int n);
};

namespace {

// Holds the next run before its first picture: the pause is asked for before the worker's
// thread starts, so nothing of the run has happened when Start returns.
void HoldAtStart(ImageRun &run)
{
    QObject::connect(
        &run, &Run::stateChanged, &run, [&run] { run.Pause(); }, Qt::SingleShotConnection);
}

// A report's run figures: percent, pictures done, pictures in the run.
QVariantList Figures(const QVariantList &args)
{
    const RunProgress p = args[0].value<RunProgress>();
    return {p.totalPercent, p.filesEnded, p.totalFiles};
}

QList<FileEnd> Ends(const QSignalSpy &spy)
{
    QList<FileEnd> ends;
    for (const QVariantList &args : spy)
        ends << args[0].value<FileEnd>();
    return ends;
}

QList<int> Rows(const QList<FileEnd> &files)
{
    QList<int> rows;
    for (const FileEnd &file : files)
        rows << file.id;
    return rows;
}

} // namespace

RunRequest TestImageRun::MakeBatch(const QTemporaryDir &dir, int n)
{
    RunRequest batch;
    batch.box = QSize(720, 480);
    batch.outputFolder = OutputFolder(dir.path() + "/out put/");
    for (int i = 0; i < n; ++i) {
        const QString name = QString(QChar('a' + i)) + ".jpg";
        WriteJpeg(dir.path() + "/" + name, Photo(1200, 900));
        batch.jobs.append({i, dir.path() + "/" + name});
    }
    return batch;
}

void TestImageRun::percent_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("expected");
    QTest::newRow("start") << 0 << 3 << 0;
    QTest::newRow("one of three") << 1 << 3 << 33;
    QTest::newRow("two of three") << 2 << 3 << 66;
    QTest::newRow("three of three is 100, not 99") << 3 << 3 << 100;
    QTest::newRow("no pictures") << 0 << 0 << 0;
    // Every whole run ends at 100 whatever its length.
    for (const int total : {6, 7, 11, 13, 29, 49, 98, 99, 197, 999, 1003})
        QTest::addRow("%d of %d", total, total) << total << total << 100;
}

void TestImageRun::percent()
{
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(int, expected);
    QCOMPARE(ProgressPercent(done, total), expected);
}

void TestImageRun::texts()
{
    QCOMPARE(TotalProgressText(3, 3), QStringLiteral(" 100% ( 3 / 3 )"));
    QCOMPARE(TotalProgressText(1, 3), QStringLiteral(" 33% ( 1 / 3 )"));
    QCOMPARE(CurrentProgressText(100), QStringLiteral(" 100%"));
    QCOMPARE(ElapsedText(3725), QStringLiteral(" 01:02:05"));
    QCOMPARE(ElapsedText(1), QStringLiteral(" 00:00:01"));
    QCOMPARE(ElapsedText(100 * 3600 + 59), QStringLiteral(" 100:00:59"));
    QCOMPARE(IdleTotalText(), QStringLiteral(" 0% ( 0 / 0 )"));
}

void TestImageRun::settingsDefaultsAndRoundTrip()
{
    const QString app = QStringLiteral("FramepressImageTest");
    QFile::remove(platform::Registry::FilePathFor(ImageSettings::KeyPath(app)));
    ImageSettings settings = ImageSettings::Load(app);
    QVERIFY(settings.saveFolder.endsWith("/" + app + "/"));
    QVERIFY(QFileInfo(settings.saveFolder).isDir());
    QCOMPARE(settings.rotateImage, 0u);
    QCOMPARE(settings.rotateAngle, 1u);
    QCOMPARE(settings.RotateSteps(), 0);
    QVERIFY(platform::Registry::KeyExists(ImageSettings::KeyPath(app))); // defaults written back

    settings.saveFolder = QStringLiteral("/tmp/pictures 'é'/");
    settings.rotateImage = 1;
    settings.rotateAngle = 3;
    QVERIFY(settings.Store(app));
    const ImageSettings again = ImageSettings::Load(app);
    QCOMPARE(again.saveFolder, settings.saveFolder);
    QCOMPARE(again.rotateImage, 1u);
    QCOMPARE(again.rotateAngle, 3u);
    QCOMPARE(again.RotateSteps(), 3);
}

void TestImageRun::settingsPartlyReadable()
{
    // The folder and the rotation switch read, the angle not: the defaults are written with
    // the default folder and the rotation values read so far.
    const QString app = QStringLiteral("FramepressImagePartly");
    {
        platform::Registry registry(ImageSettings::KeyPath(app));
        registry.WriteString(QStringLiteral("Save FolderImage"), QStringLiteral("/somewhere/"));
        registry.WriteDword(QStringLiteral("RotateImage"), 1);
        registry.WriteString(QStringLiteral("RotateAngle"), QStringLiteral("ninety"));
    }
    const ImageSettings settings = ImageSettings::Load(app);
    QVERIFY(settings.saveFolder.endsWith("/" + app + "/"));
    QCOMPARE(settings.rotateImage, 1u);
    QCOMPARE(settings.rotateAngle, 1u);
    platform::Registry registry(ImageSettings::KeyPath(app));
    QCOMPARE(registry.ReadDword(QStringLiteral("RotateAngle")), std::optional<quint32>(1));
    QCOMPARE(registry.ReadString(QStringLiteral("Save FolderImage")), std::optional<QString>(settings.saveFolder));
}

void TestImageRun::picturesTimeLeft_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("doneAt");
    QTest::addColumn<int>("now");
    QTest::addColumn<int>("left");

    QTest::newRow("nothing done yet") << 0 << 10 << 0 << 5 << -1;
    QTest::newRow("just done, 2 s a picture") << 4 << 10 << 8 << 8 << 12;
    QTest::newRow("a second into the next") << 4 << 10 << 8 << 9 << 11;
    QTest::newRow("next picture slower than the pace: those after it") << 4 << 10 << 8 << 30 << 10;
    QTest::newRow("all done") << 10 << 10 << 20 << 20 << 0;
    QTest::newRow("fewer to do after a row was unchecked") << 3 << 3 << 6 << 6 << 0;
}

void TestImageRun::picturesTimeLeft()
{
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(int, doneAt);
    QFETCH(int, now);
    QTEST(PicturesTimeLeft(done, total, doneAt, now), "left");
}

void TestImageRun::threeRowsSecondUnreadable()
{
    QTemporaryDir dir;
    RunRequest batch = MakeBatch(dir, 3);
    const QString out = batch.outputFolder.Text();
    WriteBytes(batch.jobs[1].sourcePath, "not a picture at all");
    // Stored landscape, shown upright as a portrait by its EXIF orientation (6: turn right).
    QVERIFY(WriteJpegWithOrientation(batch.jobs[2].sourcePath, Photo(1200, 900), 6));
    // Rows as the list numbers them: an unchecked row 1 is simply not in the batch.
    batch.jobs[0].id = 0;
    batch.jobs[1].id = 2;
    batch.jobs[2].id = 3;

    ImageRun run;
    QSignalSpy started(&run, &Run::fileStarted);
    QSignalSpy progress(&run, &Run::progressChanged);
    QSignalSpy fileEnded(&run, &Run::fileEnded);
    QSignalSpy runEnded(&run, &Run::runEnded);
    QVERIFY(run.Start(batch));
    QVERIFY(runEnded.wait(20000));

    QCOMPARE(started.size(), 3);
    QCOMPARE(started[0][1].toString(), out + "a.jpg");
    QCOMPARE(Figures(progress.first()), (QVariantList{0, 0, 3}));
    QCOMPARE(Figures(progress.last()), (QVariantList{100, 3, 3}));

    // The run's log entry is the last of the log.
    QFile log(RunLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(log.readAll()).section(RunLog::kEntryMarker, -1);
    QVERIFY(entry.contains("Mode: image"));
    QVERIFY(entry.contains("Source: " + batch.jobs[1].sourcePath + "\n  Output: " + out
                           + "b.jpg\n  Outcome: failed\n  Reason: image 1"));

    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.jpg", "c.jpg"}));
    QImageReader output(out + "a.jpg");
    QCOMPARE(output.format(), QByteArray("jpeg"));
    QCOMPARE(output.size(), QSize(640, 480));
    const QImage upright(out + "c.jpg");
    QCOMPARE(upright.size(), QSize(360, 480));
    // The stored top-left red block is at the top right once the photo stands upright.
    QVERIFY(Near(MeanColor(upright, upright.width() - 20, 20), QColor(220, 20, 20)));

    // Each picture's end, in list order, with its outcome and, for the failed one, why.
    const RunSummary summary = runEnded.first().first().value<RunSummary>();
    QCOMPARE(summary.end, RunEnd::Finished);
    QVERIFY(summary.sourcesMayGo);
    QCOMPARE(Rows(summary.files), (QList<int>{0, 2, 3}));
    QCOMPARE(fileEnded.size(), 3);
    const QList<Outcome> outcomes{Outcome::Done, Outcome::Failed, Outcome::Done};
    const QList<Reason> reasons{Reason{}, Reason::Image(int(ImageError::Unreadable)), Reason{}};
    const QStringList outputs{out + "a.jpg", QString(), out + "c.jpg"};
    for (int i = 0; i < 3; ++i) {
        const FileEnd end = fileEnded[i][0].value<FileEnd>();
        QCOMPARE(end.id, summary.files[i].id);
        QCOMPARE(end.sourcePath, batch.jobs[i].sourcePath);
        QCOMPARE(end.outcome, outcomes[i]);
        QCOMPARE(end.reason, reasons[i]);
        if (end.outcome == Outcome::Done)
            QCOMPARE(end.outputPath, outputs[i]);
    }

    // The summary pairs each converted source with its output: exactly those go, the
    // unreadable one stays, into the trash where a user can get them back.
    const QList<FileEnd> trashed = TrashSources(summary.Files(Outcome::Done)).gone;
    QCOMPARE(Rows(trashed), (QList<int>{0, 3}));
    QVERIFY(!QFileInfo::exists(batch.jobs[0].sourcePath));
    QVERIFY(QFileInfo::exists(batch.jobs[1].sourcePath));
    QVERIFY(!QFileInfo::exists(batch.jobs[2].sourcePath));
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
    QVERIFY(QFileInfo::exists(trash + "a.jpg"));
    QVERIFY(QFileInfo::exists(trash + "c.jpg"));

    // A second run of the same names takes "(1)" names.
    QVERIFY(run.Start(MakeBatch(dir, 1)));
    QVERIFY(runEnded.wait(20000));
    QVERIFY(QFileInfo::exists(out + "a(1).jpg"));
}

// The batch holds list rows 0, 2 and 5 (a.jpg, b.jpg, c.jpg); rows are unchecked, and some
// checked again, while the run is held before its first picture.
void TestImageRun::rowUncheckedDuringRunIsPassedBy_data()
{
    QTest::addColumn<QList<int>>("unchecked");
    QTest::addColumn<QList<int>>("checkedAgain");
    QTest::addColumn<QList<int>>("converted");

    QTest::newRow("middle") << QList<int>{2} << QList<int>{} << QList<int>{0, 5};
    QTest::newRow("first") << QList<int>{0} << QList<int>{} << QList<int>{2, 5};
    QTest::newRow("last") << QList<int>{5} << QList<int>{} << QList<int>{0, 2};
    QTest::newRow("checked again before it was reached") << QList<int>{2} << QList<int>{2} << QList<int>{0, 2, 5};
    QTest::newRow("rows not in the run") << QList<int>{1, 3} << QList<int>{} << QList<int>{0, 2, 5};
    QTest::newRow("every row") << QList<int>{0, 2, 5} << QList<int>{} << QList<int>{};
}

void TestImageRun::rowUncheckedDuringRunIsPassedBy()
{
    QFETCH(QList<int>, unchecked);
    QFETCH(QList<int>, checkedAgain);
    QFETCH(QList<int>, converted);

    QTemporaryDir dir;
    RunRequest batch = MakeBatch(dir, 3);
    batch.jobs[1].id = 2;
    batch.jobs[2].id = 5;
    const QHash<int, QString> names{{0, "a.jpg"}, {2, "b.jpg"}, {5, "c.jpg"}};

    ImageRun run;
    HoldAtStart(run);
    QSignalSpy started(&run, &Run::fileStarted);
    QSignalSpy progress(&run, &Run::progressChanged);
    QSignalSpy runEnded(&run, &Run::runEnded);
    QVERIFY(run.Start(batch));
    QVERIFY(run.IsPaused());
    for (int row : unchecked)
        run.SetJobWanted(row, false);
    for (int row : checkedAgain)
        run.SetJobWanted(row, true);
    run.Resume();
    QVERIFY(runEnded.wait(20000));

    QList<int> startedRows;
    for (const QVariantList &args : started)
        startedRows << args[0].toInt();
    QCOMPARE(startedRows, converted);
    const RunSummary summary = runEnded.first().first().value<RunSummary>();
    QCOMPARE(summary.end, RunEnd::Finished);
    QCOMPARE(Rows(summary.files), converted);
    QCOMPARE(summary.Count(Outcome::Done), converted.size());
    // A passed-by row leaves the run's total.
    const int n = int(converted.size());
    QCOMPARE(Figures(progress.last()), (QVariantList{n ? 100 : 0, n, n}));
    QStringList outputs;
    for (int row : converted)
        outputs << names[row];
    QCOMPARE(QDir(batch.outputFolder.Text()).entryList(QDir::Files | QDir::Hidden, QDir::Name), outputs);
    for (const RunJob &job : batch.jobs)
        QVERIFY(QFileInfo::exists(job.sourcePath));
}

void TestImageRun::keepsTheMachineAwakeWhileRunning()
{
    int held = 0;
    const auto previous = platform::PowerInhibit::SetBackend([&](const QString &) -> std::optional<int> {
        ++held;
        return ::dup(0);
    });
    QTemporaryDir dir;
    ImageRun run;
    QSignalSpy finished(&run, &Run::runEnded);
    QVERIFY(run.Start(MakeBatch(dir, 1)));
    QCOMPARE(held, 1);
    QVERIFY(finished.wait(20000));
    QVERIFY(run.Start(MakeBatch(dir, 1)));
    QCOMPARE(held, 2); // released at the end of the first run, taken again
    QVERIFY(finished.wait(20000));
    platform::PowerInhibit::SetBackend(previous);
}

void TestImageRun::sameNamesAndBadFolders()
{
    QTemporaryDir dir;
    WriteImage(dir.path() + "/a.png", Photo(300, 200), "png");
    WriteImage(dir.path() + "/a.bmp", Photo(300, 200), "bmp");
    RunRequest batch;
    batch.box = QSize(720, 480);
    batch.jobs = {{0, dir.path() + "/a.png"}, {1, dir.path() + "/a.bmp"}};
    batch.outputFolder = OutputFolder(dir.path() + "/new/folder"); // missing, and without its final "/"

    ImageRun run;
    QSignalSpy ended(&run, &Run::fileEnded);
    QSignalSpy finished(&run, &Run::runEnded);
    QVERIFY(run.Start(batch));
    QVERIFY(finished.wait(20000));
    QCOMPARE(Ends(ended).value(0).outputPath, dir.path() + "/new/folder/a.jpg");
    QCOMPARE(Ends(ended).value(1).outputPath, dir.path() + "/new/folder/a(1).jpg");

    // A relative folder would write beside the program: every picture fails instead.
    batch.outputFolder = OutputFolder("relative/");
    ended.clear();
    QVERIFY(run.Start(batch));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.last().first().value<RunSummary>().Count(Outcome::Failed), 2);
    QVERIFY(!QFileInfo::exists("relative"));
}

void TestImageRun::workerPausesBetweenPictures()
{
    // The pause request arrives while the first picture converts (set from the worker's own
    // thread, right when it reports), so the worker must hold before the second: no picture
    // may start while the request stands.
    QTemporaryDir dir;
    auto flags = std::make_shared<ImageRunFlags>();
    ImageWorker worker(MakeBatch(dir, 3), flags);
    QThread thread;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &ImageWorker::Run);
    connect(
        &worker, &ImageWorker::fileEnded, &worker, [&] { flags->pause = true; }, Qt::DirectConnection);
    std::atomic_int startedWhilePaused{0};
    std::atomic_int reports{0};
    connect(
        &worker, &ImageWorker::fileStarted, &worker,
        [&] {
            if (flags->pause)
                ++startedWhilePaused;
        },
        Qt::DirectConnection);
    connect(
        &worker, &ImageWorker::progressChanged, &worker, [&] { ++reports; }, Qt::DirectConnection);
    QSignalSpy started(&worker, &ImageWorker::fileStarted);
    QSignalSpy fileEnds(&worker, &ImageWorker::fileEnded);
    QSignalSpy ended(&worker, &ImageWorker::runEnded);
    thread.start();

    // The report after the first picture is the worker's last before it holds.
    QTRY_COMPARE_WITH_TIMEOUT(reports.load(), 2, 20000);
    flags->pause = false;
    // After the second, the direct connection pauses again; a cancel then ends the run there
    // (the pause request still standing).
    QTRY_COMPARE_WITH_TIMEOUT(reports.load(), 3, 20000);
    flags->stop = true;
    QVERIFY(thread.wait(20000));

    QCOMPARE(startedWhilePaused.load(), 0);
    QCOMPARE(started.size(), 2);
    QCOMPARE(ended, QList<QVariantList>{{true}});
    QCOMPARE(Ends(fileEnds).size(), 2);
    QCOMPARE(Ends(fileEnds).last().outcome, Outcome::Done);
}

void TestImageRun::workerReportsInListOrder()
{
    // The next picture is decoded while the current one is: a large PNG first and a broken
    // file right after it must still be reported in list order, each started before it ends.
    QTemporaryDir dir;
    const QString d = dir.path() + "/";
    QVERIFY(WriteImage(d + "slow.png", Photo(3000, 2000), "png"));
    WriteBytes(d + "broken.jpg", "not a picture");
    QVERIFY(WriteImage(d + "x.png", Photo(300, 200), "png"));
    QVERIFY(WriteImage(d + "x.bmp", Photo(300, 200), "bmp"));
    QVERIFY(WriteJpeg(d + "last.jpg", Photo(300, 200)));
    RunRequest batch;
    batch.box = QSize(720, 480);
    batch.outputFolder = OutputFolder(d + "out/");
    for (const char *name : {"slow.png", "broken.jpg", "x.png", "x.bmp", "gone.png", "last.jpg"})
        batch.jobs.append({int(batch.jobs.size()), d + name});

    ImageWorker worker(batch, std::make_shared<ImageRunFlags>());
    QThread thread;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &ImageWorker::Run);
    // Written only on the worker's thread, read once it has ended.
    QStringList events;
    connect(
        &worker, &ImageWorker::fileStarted, &worker,
        [&](int row, const QString &output) {
            events << QString("start %1 %2").arg(row).arg(QFileInfo(output).fileName());
        },
        Qt::DirectConnection);
    connect(
        &worker, &ImageWorker::fileEnded, &worker,
        [&](const FileEnd &end) { events << QString(end.outcome == Outcome::Done ? "ok %1" : "fail %1").arg(end.id); },
        Qt::DirectConnection);
    connect(
        &worker, &ImageWorker::progressChanged, &worker, [&](int done) { events << QString("done %1").arg(done); },
        Qt::DirectConnection);
    thread.start();
    QVERIFY(thread.wait(60000));

    const QStringList expected{"done 0", "start 0 slow.jpg", "ok 0",   "done 1", "start 1 broken.jpg", "fail 1",
                               "done 2", "start 2 x.jpg",    "ok 2",   "done 3", "start 3 x(1).jpg",   "ok 3",
                               "done 4", "start 4 gone.jpg", "fail 4", "done 5", "start 5 last.jpg",   "ok 5",
                               "done 6"};
    QCOMPARE(events, expected);
    QCOMPARE(QDir(d + "out/").entryList(QDir::Files | QDir::Hidden),
             (QStringList{"last.jpg", "slow.jpg", "x(1).jpg", "x.jpg"}));
    QCOMPARE(QImageReader(d + "out/slow.jpg").size(), QSize(720, 480));
}

void TestImageRun::workerPassesByARowUncheckedWhileDecodedAhead()
{
    // The second picture's decode is launched before the first is reported; unchecking its
    // row then must still keep it out of the run.
    QTemporaryDir dir;
    const RunRequest batch = MakeBatch(dir, 3);
    auto flags = std::make_shared<ImageRunFlags>();
    flags->wanted = std::vector<std::atomic_bool>(3);
    for (std::atomic_bool &wanted : flags->wanted)
        wanted = true;
    ImageWorker worker(batch, flags);
    QThread thread;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &ImageWorker::Run);
    // Written only on the worker's thread, read once it has ended.
    QStringList events;
    connect(
        &worker, &ImageWorker::fileStarted, &worker,
        [&](int row) {
            events << QString("start %1").arg(row);
            if (row == 0)
                flags->wanted[1] = false;
        },
        Qt::DirectConnection);
    connect(
        &worker, &ImageWorker::fileEnded, &worker, [&](const FileEnd &end) { events << QString("ok %1").arg(end.id); },
        Qt::DirectConnection);
    connect(
        &worker, &ImageWorker::fileSkipped, &worker, [&](int row) { events << QString("skip %1").arg(row); },
        Qt::DirectConnection);
    connect(
        &worker, &ImageWorker::progressChanged, &worker,
        [&](int done, int total) { events << QString("done %1/%2").arg(done).arg(total); }, Qt::DirectConnection);
    QSignalSpy ended(&worker, &ImageWorker::runEnded);
    thread.start();
    QVERIFY(thread.wait(60000));

    const QStringList expected{"done 0/3", "start 0", "ok 0", "done 1/3", "skip 1",
                               "done 1/2", "start 2", "ok 2", "done 2/2"};
    QCOMPARE(events, expected);
    QCOMPARE(QDir(batch.outputFolder.Text()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.jpg", "c.jpg"}));
    QCOMPARE(ended, QList<QVariantList>{{false}});
}

void TestImageRun::workerStopsBetweenPictures_data()
{
    QTest::addColumn<bool>("firstReadable");
    QTest::addColumn<bool>("pauseFirst"); // pause at the first report, cancel while held
    QTest::newRow("cancel after a converted picture") << true << false;
    QTest::newRow("cancel after a failed picture") << false << false;
    QTest::newRow("pause, then cancel while held") << true << true;
}

void TestImageRun::workerStopsBetweenPictures()
{
    // The request arrives while the next picture is already being decoded ahead: that decode is
    // thrown away, nothing more is started, named or written, and the run still ends whole.
    QFETCH(bool, firstReadable);
    QFETCH(bool, pauseFirst);
    QTemporaryDir dir;
    RunRequest batch = MakeBatch(dir, 1);
    if (!firstReadable)
        WriteBytes(batch.jobs[0].sourcePath, "not a picture");
    for (int i = 1; i < 4; ++i) {
        const QString path = dir.path() + QString("/big%1.png").arg(i);
        QVERIFY(WriteImage(path, Photo(2400, 1600), "png"));
        batch.jobs.append({i, path});
    }

    auto flags = std::make_shared<ImageRunFlags>();
    ImageWorker worker(batch, flags);
    QThread thread;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &ImageWorker::Run);
    auto request = [&] { (pauseFirst ? flags->pause : flags->stop) = true; };
    connect(&worker, &ImageWorker::fileEnded, &worker, request, Qt::DirectConnection);
    QSignalSpy started(&worker, &ImageWorker::fileStarted);
    QSignalSpy fileEnds(&worker, &ImageWorker::fileEnded);
    QSignalSpy ended(&worker, &ImageWorker::runEnded);
    thread.start();
    if (pauseFirst) {
        // Held after the first picture, its decode ahead launched: the cancel comes now.
        QTRY_VERIFY_WITH_TIMEOUT(flags->pause, 20000);
        QVERIFY(thread.isRunning());
        flags->pause = false;
        flags->stop = true;
    }
    QVERIFY(thread.wait(20000));

    QCOMPARE(started.size(), 1);
    QCOMPARE(ended, QList<QVariantList>{{true}});
    QCOMPARE(Ends(fileEnds).size(), 1);
    QCOMPARE(Ends(fileEnds)[0].outcome, firstReadable ? Outcome::Done : Outcome::Failed);
    const QStringList outputs = firstReadable ? QStringList{"a.jpg"} : QStringList{};
    QCOMPARE(QDir(batch.outputFolder.Text()).entryList(QDir::Files | QDir::Hidden), outputs);
}

void TestImageRun::clockStandsStillWhilePaused()
{
    QTemporaryDir dir;
    ImageRun run;
    qint64 clockMs = 0; // the worker's: 2 s a picture
    run.SetClock([&] { return clockMs; });
    connect(&run, &Run::fileEnded, [&] { clockMs += 2000; });
    HoldAtStart(run);
    QSignalSpy ticks(&run, &Run::progressChanged);
    QSignalSpy finished(&run, &Run::runEnded);
    QVERIFY(run.Start(MakeBatch(dir, 4)));
    for (int i = 0; i < 100; ++i, clockMs += 1000)
        run.Tick();
    QCOMPARE(ticks.size(), 0);
    run.Resume();
    run.Tick();
    run.Tick();
    QCOMPARE(ticks.size(), 2);
    QCOMPARE(ticks[1][0].value<RunProgress>().elapsedSeconds, 2);
    QVERIFY(finished.wait(20000));
    // The time left fell by each picture's 2 s, the pause left out (a first picture done
    // within the first second once read 00:00:00 with the rest to go).
    QList<int> left;
    for (const QVariantList &args : ticks)
        left << args[0].value<RunProgress>().batchSecondsLeft;
    left.erase(std::unique(left.begin(), left.end()), left.end());
    QCOMPARE(left, (QList<int>{-1, 6, 4, 2, 0}));
    QVERIFY(run.Start(MakeBatch(dir, 1))); // a new run counts from 0
    run.Tick();
    QCOMPARE(ticks.last()[0].value<RunProgress>().elapsedSeconds, 1);
}

// A run taken down mid-way (the program ending) finishes the picture in work and stops: no
// picture is left half-written, and the log has the run's end.
void TestImageRun::destroyedMidRunLeavesWholePictures()
{
    QTemporaryDir dir;
    const RunRequest batch = MakeBatch(dir, 3);
    auto run = std::make_unique<ImageRun>();
    QVERIFY(run->Start(batch));
    run.reset();
    const QStringList outputs = QDir(batch.outputFolder.Text()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : outputs) {
        QVERIFY2(!name.startsWith('.'), qPrintable(name));
        QCOMPARE(QImageReader(batch.outputFolder.FilePath(name)).size(), QSize(640, 480));
    }
    QFile log(RunLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(log.readAll()).section(RunLog::kEntryMarker, -1);
    QVERIFY(entry.contains("Run end: stopped"));
    QCOMPARE(entry.count("Outcome: done"), outputs.size());
}

QTEST_GUILESS_MAIN(TestImageRun)
#include "tst_image_run.moc"
