#include "image/image_progress.h"
#include "image/image_run_controller.h"
#include "image/image_settings.h"
#include "platform/registry.h"
#include "test_pictures.h"

#include <QDir>
#include <QImageReader>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <unistd.h>

using namespace testpic;

class TestImageRun : public QObject {
    Q_OBJECT

private slots:
    // No test reaches the system bus; the one that counts locks sets its own backend.
    void initTestCase() { platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); }); }
    void percent_data();
    void percent();
    void texts();
    void settingsDefaultsAndRoundTrip();
    void settingsPartlyReadable();
    void threeRowsSecondUnreadable();
    void emptyBatchIsNoFile();
    void keepsTheMachineAwakeWhileRunning();
    void sameNamesAndBadFolders();
    void workerPausesBetweenPictures();
    void workerReportsInListOrder();
    void workerStopsBetweenPictures_data();
    void workerStopsBetweenPictures();
    void cancelWhilePausedStartsNoPicture();
    void clockStandsStillWhilePaused();
    void stopAndWaitEndsTheThread();
    void sourcesGoOnlyWithTheirOutput();

private:
    // A folder with n photos a.jpg, b.jpg, ... and an output folder beside them.
    ImageBatch MakeBatch(const QTemporaryDir &dir, int n);
};

ImageBatch TestImageRun::MakeBatch(const QTemporaryDir &dir, int n)
{
    ImageBatch batch;
    batch.box = QSize(720, 480);
    batch.outputFolder = dir.path() + "/out put/";
    for (int i = 0; i < n; ++i) {
        const QString name = QString(QChar('a' + i)) + ".jpg";
        WriteJpeg(dir.path() + "/" + name, Photo(1200, 900));
        batch.items.append({i, dir.path() + "/" + name, name});
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
    QVERIFY(platform::Registry::KeyExists(ImageSettings::KeyPath(app)));   // defaults written back

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

void TestImageRun::threeRowsSecondUnreadable()
{
    QTemporaryDir dir;
    ImageBatch batch = MakeBatch(dir, 3);
    WriteBytes(batch.items[1].sourcePath, "not a picture at all");
    // Rows as the list numbers them: an unchecked row 1 is simply not in the batch.
    batch.items[0].row = 0;
    batch.items[1].row = 2;
    batch.items[2].row = 3;

    ImageRunController controller;
    QSignalSpy started(&controller, &ImageRunController::fileStarted);
    QSignalSpy converted(&controller, &ImageRunController::fileConverted);
    QSignalSpy failed(&controller, &ImageRunController::fileFailed);
    QSignalSpy progress(&controller, &ImageRunController::progressChanged);
    QSignalSpy finished(&controller, &ImageRunController::runFinished);
    QCOMPARE(controller.Start(batch), ImageRunController::StartResult::Started);
    QVERIFY(controller.IsConverting());
    QCOMPARE(controller.Start(batch), ImageRunController::StartResult::AlreadyRunning);
    QVERIFY(finished.wait(20000));
    QVERIFY(!controller.IsConverting());

    QCOMPARE(started.size(), 3);
    QCOMPARE(started[0][1].toString(), batch.outputFolder + "a.jpg");
    QCOMPARE(converted.size(), 2);
    QCOMPARE(converted[0][0].toInt(), 0);
    QCOMPARE(converted[1][0].toInt(), 3);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0][0].toInt(), 2);
    QCOMPARE(failed[0][1].value<ImageError>(), ImageError::Unreadable);
    QCOMPARE(progress.size(), 4);
    QCOMPARE(progress.first(), (QVariantList{0, 0, 3}));
    QCOMPARE(progress.last(), (QVariantList{100, 3, 3}));
    QCOMPARE(TotalProgressText(progress.last()[1].toInt(), progress.last()[2].toInt()), " 100% ( 3 / 3 )");

    const ImageRunResult result = finished.first().first().value<ImageRunResult>();
    QVERIFY(!result.cancelled);
    QCOMPARE(result.handled, 3);
    QCOMPARE(result.convertedCount(), 2);
    QCOMPARE(result.failedRows, QList<int>{2});
    QCOMPARE(QDir(batch.outputFolder).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.jpg", "c.jpg"}));
    QImageReader output(batch.outputFolder + "c.jpg");
    QCOMPARE(output.format(), QByteArray("jpeg"));
    QCOMPARE(output.size(), QSize(640, 480));

    // Only the sources whose output exists go; the unreadable one stays.
    const QList<RemovedSource> removed = RemoveConvertedSources(result.converted);
    QCOMPARE(removed.size(), 2);
    QCOMPARE(removed[0].row, 0);
    QCOMPARE(removed[1].row, 3);
    QVERIFY(!QFileInfo::exists(batch.items[0].sourcePath));
    QVERIFY(QFileInfo::exists(batch.items[1].sourcePath));
    QVERIFY(!QFileInfo::exists(batch.items[2].sourcePath));
    // Into the trash, where a user can get them back.
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
    QVERIFY(QFileInfo::exists(trash + "a.jpg"));
    QVERIFY(QFileInfo::exists(trash + "c.jpg"));

    // A second run of the same names takes "(1)" names.
    ImageBatch second = MakeBatch(dir, 1);
    QCOMPARE(controller.Start(second), ImageRunController::StartResult::Started);
    QVERIFY(finished.wait(20000));
    QVERIFY(QFileInfo::exists(batch.outputFolder + "a(1).jpg"));
}

void TestImageRun::keepsTheMachineAwakeWhileRunning()
{
    int held = 0;
    const auto previous = platform::PowerInhibit::SetBackend([&](const QString &) -> std::optional<int> {
        ++held;
        return ::dup(0);
    });
    QTemporaryDir dir;
    ImageRunController controller;
    QSignalSpy finished(&controller, &ImageRunController::runFinished);
    QCOMPARE(controller.Start(MakeBatch(dir, 1)), ImageRunController::StartResult::Started);
    QCOMPARE(held, 1);
    QVERIFY(finished.wait(20000));
    QCOMPARE(controller.Start(MakeBatch(dir, 1)), ImageRunController::StartResult::Started);
    QCOMPARE(held, 2);   // released at the end of the first run, taken again
    QVERIFY(finished.wait(20000));
    platform::PowerInhibit::SetBackend(previous);
}

void TestImageRun::emptyBatchIsNoFile()
{
    ImageRunController controller;
    QSignalSpy started(&controller, &ImageRunController::runStarted);
    QCOMPARE(controller.Start(ImageBatch{}), ImageRunController::StartResult::NoFile);
    QVERIFY(!controller.IsConverting());
    QCOMPARE(started.size(), 0);
}

void TestImageRun::sameNamesAndBadFolders()
{
    QTemporaryDir dir;
    WriteImage(dir.path() + "/a.png", Photo(300, 200), "png");
    WriteImage(dir.path() + "/a.bmp", Photo(300, 200), "bmp");
    ImageBatch batch;
    batch.box = QSize(720, 480);
    batch.items = {{0, dir.path() + "/a.png", "a.png"}, {1, dir.path() + "/a.bmp", "a.bmp"}};
    batch.outputFolder = dir.path() + "/new/folder";   // missing, and without its final "/"

    ImageRunController controller;
    QSignalSpy converted(&controller, &ImageRunController::fileConverted);
    QSignalSpy finished(&controller, &ImageRunController::runFinished);
    QCOMPARE(controller.Start(batch), ImageRunController::StartResult::Started);
    QVERIFY(finished.wait(20000));
    QCOMPARE(converted.size(), 2);
    QCOMPARE(converted[0][1].toString(), dir.path() + "/new/folder/a.jpg");
    QCOMPARE(converted[1][1].toString(), dir.path() + "/new/folder/a(1).jpg");

    // A relative folder would write beside the program: every picture fails instead.
    batch.outputFolder = "relative/";
    QSignalSpy failed(&controller, &ImageRunController::fileFailed);
    QCOMPARE(controller.Start(batch), ImageRunController::StartResult::Started);
    QVERIFY(finished.wait(20000));
    QCOMPARE(failed.size(), 2);
    QVERIFY(!QFileInfo::exists("relative"));
}

void TestImageRun::workerPausesBetweenPictures()
{
    // The pause request arrives while the first picture converts (set from the worker's own
    // thread, right when it reports), so the worker must hold before the second.
    QTemporaryDir dir;
    auto flags = std::make_shared<ImageRunFlags>();
    ImageWorker worker(MakeBatch(dir, 3), flags);
    QThread thread;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &ImageWorker::Run);
    connect(&worker, &ImageWorker::fileConverted, &worker, [&] { flags->pause = true; }, Qt::DirectConnection);
    QSignalSpy started(&worker, &ImageWorker::fileStarted);
    QSignalSpy ended(&worker, &ImageWorker::runEnded);
    thread.start();

    QTRY_COMPARE(started.size(), 1);
    QTest::qWait(300);
    QCOMPARE(started.size(), 1);   // held, not converting
    flags->pause = false;
    QTRY_COMPARE_WITH_TIMEOUT(started.size(), 2, 10000);
    // The direct connection pauses again after the second; a cancel then ends the run there.
    QTest::qWait(300);
    QCOMPARE(started.size(), 2);
    flags->stop = true;
    QVERIFY(ended.wait(5000) || ended.size() == 1);
    const ImageRunResult result = ended.first().first().value<ImageRunResult>();
    QVERIFY(result.cancelled);
    QCOMPARE(result.handled, 2);
    QCOMPARE(result.convertedCount(), 2);
    thread.wait(5000);
    QVERIFY(thread.isFinished());
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
    ImageBatch batch;
    batch.box = QSize(720, 480);
    batch.outputFolder = d + "out/";
    for (const char *name : {"slow.png", "broken.jpg", "x.png", "x.bmp", "gone.png", "last.jpg"})
        batch.items.append({int(batch.items.size()), d + name, QString::fromLatin1(name)});

    ImageWorker worker(batch, std::make_shared<ImageRunFlags>());
    QThread thread;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &ImageWorker::Run);
    // Written only on the worker's thread, read once it has ended.
    QStringList events;
    connect(&worker, &ImageWorker::fileStarted, &worker,
            [&](int row, const QString &output) { events << QString("start %1 %2").arg(row).arg(QFileInfo(output).fileName()); },
            Qt::DirectConnection);
    connect(&worker, &ImageWorker::fileConverted, &worker, [&](int row) { events << QString("ok %1").arg(row); },
            Qt::DirectConnection);
    connect(&worker, &ImageWorker::fileFailed, &worker, [&](int row) { events << QString("fail %1").arg(row); },
            Qt::DirectConnection);
    connect(&worker, &ImageWorker::progressChanged, &worker, [&](int done) { events << QString("done %1").arg(done); },
            Qt::DirectConnection);
    thread.start();
    QVERIFY(thread.wait(60000));

    const QStringList expected{"done 0",
                               "start 0 slow.jpg", "ok 0", "done 1",
                               "start 1 broken.jpg", "fail 1", "done 2",
                               "start 2 x.jpg", "ok 2", "done 3",
                               "start 3 x(1).jpg", "ok 3", "done 4",
                               "start 4 gone.jpg", "fail 4", "done 5",
                               "start 5 last.jpg", "ok 5", "done 6"};
    QCOMPARE(events, expected);
    QCOMPARE(QDir(batch.outputFolder).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"last.jpg", "slow.jpg", "x(1).jpg", "x.jpg"}));
    QCOMPARE(QImageReader(batch.outputFolder + "slow.jpg").size(), QSize(720, 480));
}

void TestImageRun::workerStopsBetweenPictures_data()
{
    QTest::addColumn<bool>("firstReadable");
    QTest::addColumn<bool>("pauseFirst");   // pause at the first report, cancel while held
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
    ImageBatch batch = MakeBatch(dir, 1);
    if (!firstReadable)
        WriteBytes(batch.items[0].sourcePath, "not a picture");
    for (int i = 1; i < 4; ++i) {
        const QString path = dir.path() + QString("/big%1.png").arg(i);
        QVERIFY(WriteImage(path, Photo(2400, 1600), "png"));
        batch.items.append({i, path, QFileInfo(path).fileName()});
    }

    auto flags = std::make_shared<ImageRunFlags>();
    ImageWorker worker(batch, flags);
    QThread thread;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &ImageWorker::Run);
    auto request = [&] { (pauseFirst ? flags->pause : flags->stop) = true; };
    connect(&worker, &ImageWorker::fileConverted, &worker, request, Qt::DirectConnection);
    connect(&worker, &ImageWorker::fileFailed, &worker, request, Qt::DirectConnection);
    QSignalSpy started(&worker, &ImageWorker::fileStarted);
    QSignalSpy ended(&worker, &ImageWorker::runEnded);
    thread.start();
    if (pauseFirst) {
        QTRY_VERIFY(flags->pause);
        QTest::qWait(500);   // long enough for the decode ahead to finish
        QVERIFY(thread.isRunning());
        flags->pause = false;
        flags->stop = true;
    }
    QVERIFY(thread.wait(20000));

    QCOMPARE(started.size(), 1);
    QCOMPARE(ended.size(), 1);
    const ImageRunResult result = ended.first().first().value<ImageRunResult>();
    QVERIFY(result.cancelled);
    QCOMPARE(result.handled, 1);
    QCOMPARE(result.convertedCount(), firstReadable ? 1 : 0);
    const QStringList outputs = firstReadable ? QStringList{"a.jpg"} : QStringList{};
    QCOMPARE(QDir(batch.outputFolder).entryList(QDir::Files | QDir::Hidden), outputs);
}

void TestImageRun::cancelWhilePausedStartsNoPicture()
{
    QTemporaryDir dir;
    ImageRunController controller;
    QSignalSpy started(&controller, &ImageRunController::fileStarted);
    QSignalSpy cancelled(&controller, &ImageRunController::runCancelled);
    QSignalSpy finished(&controller, &ImageRunController::runFinished);
    QCOMPARE(controller.Start(MakeBatch(dir, 4)), ImageRunController::StartResult::Started);
    controller.Pause();
    QVERIFY(controller.IsPaused());
    QTest::qWait(400);   // whatever was in work is done by now
    const int before = int(started.size());
    QVERIFY(before <= 1);
    controller.Cancel();
    QVERIFY(!controller.IsPaused());
    QVERIFY(cancelled.wait(2000));
    QCOMPARE(finished.size(), 0);
    QCOMPARE(started.size(), before);
    const ImageRunResult result = cancelled.first().first().value<ImageRunResult>();
    QVERIFY(result.cancelled);
    QCOMPARE(result.handled, before);
    QCOMPARE(result.total, 4);
    QVERIFY(!controller.IsConverting());
}

void TestImageRun::clockStandsStillWhilePaused()
{
    QTemporaryDir dir;
    ImageRunController controller;
    QSignalSpy ticks(&controller, &ImageRunController::elapsedChanged);
    QSignalSpy finished(&controller, &ImageRunController::runFinished);
    QCOMPARE(controller.Start(MakeBatch(dir, 1)), ImageRunController::StartResult::Started);
    controller.Pause();
    controller.OnClockTick();
    QCOMPARE(ticks.size(), 0);
    controller.Resume();
    controller.OnClockTick();
    controller.OnClockTick();
    QCOMPARE(ticks.size(), 2);
    QCOMPARE(ticks[0][0].toInt(), 1);
    QCOMPARE(ticks[1][0].toInt(), 2);
    QVERIFY(finished.wait(20000));
    QCOMPARE(controller.ElapsedCounter(), 1);   // back to 1 for the next run
}

void TestImageRun::stopAndWaitEndsTheThread()
{
    QTemporaryDir dir;
    ImageBatch batch = MakeBatch(dir, 3);
    auto controller = std::make_unique<ImageRunController>();
    QCOMPARE(controller->Start(batch), ImageRunController::StartResult::Started);
    controller->StopAndWait();
    // Whatever was in work is whole; nothing half-written.
    for (const QString &name : QDir(batch.outputFolder).entryList(QDir::Files | QDir::Hidden)) {
        QVERIFY2(!name.startsWith('.'), qPrintable(name));
        QCOMPARE(QImageReader(batch.outputFolder + name).size(), QSize(640, 480));
    }
    controller.reset();   // destroying right after must not hang or crash
}

void TestImageRun::sourcesGoOnlyWithTheirOutput()
{
    QTemporaryDir dir;
    WriteBytes(dir.path() + "/kept.jpg", "source");
    WriteBytes(dir.path() + "/moved.jpg", "source");
    WriteBytes(dir.path() + "/moved-out.jpg", "output");
    WriteBytes(dir.path() + "/empty-out.jpg", "");
    const QList<ConvertedPicture> converted{
        {0, dir.path() + "/kept.jpg", dir.path() + "/missing-out.jpg"},   // output gone since
        {1, dir.path() + "/kept.jpg", dir.path() + "/empty-out.jpg"},     // output empty
        {2, dir.path() + "/gone.jpg", dir.path() + "/moved-out.jpg"},     // source gone already
        {3, dir.path() + "/moved.jpg", dir.path() + "/moved-out.jpg"},
    };
    // A fresh account without its data folder: the trash is made there, not under the
    // current folder.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path() + "/fresh/share"));
    const QList<RemovedSource> removed = RemoveConvertedSources(converted);
    qputenv("XDG_DATA_HOME", dataHome);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed[0].row, 3);
    QVERIFY(QFileInfo::exists(dir.path() + "/kept.jpg"));
    QVERIFY(!QFileInfo::exists(dir.path() + "/moved.jpg"));
    QVERIFY(QFileInfo::exists(dir.path() + "/fresh/share/Trash/files/moved.jpg"));
    QVERIFY(!QFileInfo::exists("files/moved.jpg"));
}

QTEST_GUILESS_MAIN(TestImageRun)
#include "tst_image_run.moc"
