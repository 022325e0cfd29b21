// The time left of a file and of a batch, from the lengths still to do and the speed so far.

#include "movie/movie_time_left.h"

#include <QTest>

namespace {

// The run's clock in these cases: one second a look, files back to back.
struct Clock {
    MovieTimeLeft &t;
    double now = 0.0;
    void Start(int index) { t.FileStarted(index, now); }
    void Tick(double position) { t.Tick(position, now += 1.0); }
};

} // namespace

class TstMovieTimeLeft : public QObject {
    Q_OBJECT

private slots:
    void unknownUntilSeen();
    void steadySpeed();
    void fasterFileLowersIt();
    void failedFileCountsWhatItGotThrough();
    void decoderRacingAheadIsNoMeasureOfSpeed();
    void finishingCountsForEveryFile();
    void readingAfterTheLastLookIsNoFinishing();
    void filesTooShortForASteadySpeedStillGiveAFigure();
    void aFileGoesAtTheSpeedOfItsKind_data();
    void aFileGoesAtTheSpeedOfItsKind();
    void costOfASource_data();
    void costOfASource();
};

void TstMovieTimeLeft::unknownUntilSeen()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{10, 1}, {0, 1}});
    c.Start(0);
    QVERIFY(!t.FileLeft());
    QVERIFY(!t.BatchLeft());
    c.Tick(0); // the engine starting: nothing done yet
    QVERIFY(!t.FileLeft());
    c.Tick(2);
    QVERIFY(t.FileLeft());
    QVERIFY(!t.BatchLeft()); // a later file of unknown length: no honest figure
}

void TstMovieTimeLeft::steadySpeed()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{10, 1}, {20, 1}});
    c.Start(0);
    for (double pos : {2.0, 4.0, 6.0})
        c.Tick(pos);
    QCOMPARE(t.FileLeft().value_or(-1), 2);   // 4 s of media at 2 a second
    QCOMPARE(t.BatchLeft().value_or(-1), 12); // and 20 more
    c.Tick(8);
    c.Tick(10);
    t.FileEnded(true, c.now);
    c.Start(1);
    c.Tick(2);
    QCOMPARE(t.BatchLeft().value_or(-1), 9); // 18 s at 2 a second
}

void TstMovieTimeLeft::fasterFileLowersIt()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{10, 1}, {40, 1}, {40, 1}});
    c.Start(0);
    for (int i = 1; i <= 5; ++i)
        c.Tick(2.0 * i);
    t.FileEnded(true, c.now);
    c.Start(1);
    c.Tick(0);
    for (int i = 1; i <= 3; ++i)
        c.Tick(6.0 * i); // three times as fast
    const int file = t.FileLeft().value_or(-1);
    QCOMPARE(file, 4); // its own speed: 22 s at 6 a second
    // The batch takes the run's moving speed so far for the files to come, which this file
    // raised (28 s of work in 8 moving seconds), and half a second a file for starting up (the
    // second file's first look found it still starting).
    QCOMPARE(t.BatchLeft().value_or(-1), file + 12);
}

void TstMovieTimeLeft::failedFileCountsWhatItGotThrough()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{100, 1}, {10, 1}});
    c.Start(0);
    c.Tick(1);
    t.FileEnded(false, c.now); // a damaged file gave up after a second
    c.Start(1);
    c.Tick(1);
    // Two seconds of media in two ticks, not a hundred and one.
    QCOMPARE(t.FileLeft().value_or(-1), 9);
}

void TstMovieTimeLeft::decoderRacingAheadIsNoMeasureOfSpeed()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{30, 1}, {30, 1}});
    c.Start(0);
    for (double pos : {6.0, 7.0, 8.0, 9.0}) // the encoder's queue filled in the first second
        c.Tick(pos);
    QCOMPARE(t.FileLeft().value_or(-1), 21); // at one a second, not 9 in 4
    // The next file starts up as this one did (6 s of media read in its first second), then
    // goes at one a second.
    QCOMPARE(t.BatchLeft().value_or(-1), 21 + 1 + 24);
}

void TstMovieTimeLeft::finishingCountsForEveryFile()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{10, 1}, {10, 1}, {10, 1}});
    c.Start(0);
    for (double pos : {2.0, 4.0, 6.0, 8.0, 10.0, 10.0})
        c.Tick(pos);
    c.now += 2.0;
    t.FileEnded(true, c.now); // all read at 5 s, done at 8 s: three seconds of finishing
    c.Start(1);
    for (double pos : {2.0, 4.0, 6.0})
        c.Tick(pos);
    QCOMPARE(t.FileLeft().value_or(-1), 2 + 3);
    QCOMPARE(t.BatchLeft().value_or(-1), 5 + 5 + 3);
    c.Tick(8.0);
    c.Tick(10.0);
    c.Tick(10.0);
    QCOMPARE(t.FileLeft().value_or(-1), 2); // finishing for a second already
    c.Tick(14.0);                           // read well past its known length
    QVERIFY(!t.FileLeft() && !t.BatchLeft());
}

void TstMovieTimeLeft::readingAfterTheLastLookIsNoFinishing()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{10, 1}, {10, 1}, {10, 1}});
    c.Start(0);
    for (double pos : {2.0, 4.0, 6.0, 8.0})
        c.Tick(pos);
    c.now += 1.0;
    t.FileEnded(true, c.now); // the last 2 s of media read at two a second: it ended as it read
    c.Start(1);
    for (double pos : {2.0, 4.0, 6.0})
        c.Tick(pos);
    QCOMPARE(t.FileLeft().value_or(-1), 2);
    QCOMPARE(t.BatchLeft().value_or(-1), 2 + 5);
}

void TstMovieTimeLeft::filesTooShortForASteadySpeedStillGiveAFigure()
{
    MovieTimeLeft t;
    Clock c{t};
    t.Begin({{3, 1}, {3, 1}, {3, 1}});
    c.Start(0);
    c.Tick(3.0); // read at the first look
    c.now += 1.0;
    t.FileEnded(true, c.now);
    c.Start(1);
    QCOMPARE(t.FileLeft().value_or(-1), 2); // 3 s of media took 2 s, all told
    QCOMPARE(t.BatchLeft().value_or(-1), 4);
}

void TstMovieTimeLeft::aFileGoesAtTheSpeedOfItsKind_data()
{
    QTest::addColumn<quint64>("lastKind");
    QTest::addColumn<int>("lastSeconds");
    // 40 s of media at nearly the first file's speed (3.77 a second, the batch's 3.08
    // weighing for three seconds), or at the batch's when it is like neither file.
    QTest::newRow("of the first file's kind") << SourceKind(1920, 1080, 30.0) << 11;
    QTest::newRow("nearly as many pixels a second") << SourceKind(1280, 720, 60.0) << 11;
    QTest::newRow("like no file so far") << SourceKind(320, 240, 30.0) << 13;
    QTest::newRow("sound alone") << SourceKind(0, 0, 0.0) << 13;
}

void TstMovieTimeLeft::aFileGoesAtTheSpeedOfItsKind()
{
    QFETCH(quint64, lastKind);
    QFETCH(int, lastSeconds);
    MovieTimeLeft t;
    Clock c{t};
    const quint64 camera = SourceKind(1920, 1080, 30.0), tape = SourceKind(640, 480, 25.0);
    QVERIFY(camera != tape && camera != 0 && tape != 0);
    t.Begin({{40, 1, camera}, {20, 1, tape}, {40, 1, lastKind}});
    c.Start(0);
    for (int i = 1; i <= 10; ++i)
        c.Tick(4.0 * i); // four a second
    t.FileEnded(true, c.now);
    c.Start(1);
    for (int i = 1; i <= 5; ++i)
        c.Tick(1.0 * i); // one a second
    QCOMPARE(t.FileLeft().value_or(-1), 15);
    QCOMPARE(t.BatchLeft().value_or(-1), 15 + lastSeconds);
}

void TstMovieTimeLeft::costOfASource_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("cost");
    QTest::newRow("720p30 into 720p") << QSize(1280, 720) << 30.0 << 1.1;
    QTest::newRow("1080p30 into 720p") << QSize(1920, 1080) << 30.0 << 1.225;
    QTest::newRow("720p60 into 720p") << QSize(1280, 720) << 60.0 << 1.2;
}

void TstMovieTimeLeft::costOfASource()
{
    QFETCH(QSize, size);
    QFETCH(double, rate);
    QFETCH(double, cost);
    QCOMPARE(SourceCost(size.width(), size.height(), rate, 1280, 720), cost);
    // Sound alone: a small share of a second of pictures, never nothing.
    const double sound = SourceCost(0, 0, 0.0, 1280, 720);
    QVERIFY(sound > 0.0 && sound < 0.2);
}

QTEST_GUILESS_MAIN(TstMovieTimeLeft)
#include "tst_movie_time_left.moc"
