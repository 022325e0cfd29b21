#include "shell/app_paths.h"
#include "widgets/progress_bar_ctrl.h"

#include <QImage>
#include <QTest>

namespace {
// Pixel row through the middle of the bar, where track and fill are opaque.
constexpr int kMidY = 5;

int FilledColumns(const QImage &shot, const QColor &fill)
{
    int n = 0;
    while (n < shot.width() && shot.pixelColor(n, kMidY) == fill)
        ++n;
    return n;
}
} // namespace

class TstProgressBarCtrl : public QObject {
    Q_OBJECT

    QImage m_trackImage;
    QImage m_fillImage;

private slots:
    void initTestCase()
    {
        m_trackImage = QImage(GetResFilePath(ProgressBarCtrl::ImageFileName(ProgressBarCtrl::TrackId)));
        m_fillImage = QImage(GetResFilePath(ProgressBarCtrl::ImageFileName(ProgressBarCtrl::FillCurrentId)));
        QVERIFY(!m_trackImage.isNull());
        QVERIFY(!m_fillImage.isNull());
        QVERIFY(!QImage(GetResFilePath(ProgressBarCtrl::ImageFileName(ProgressBarCtrl::FillTotalId))).isNull());
        // The drawing checks below rely on a visible difference between fill and track.
        QVERIFY(m_trackImage.pixelColor(0, kMidY) != m_fillImage.pixelColor(0, kMidY));
    }

    void fillWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("filled");
        QTest::newRow("0: track only") << 440 << 0 << 0;
        QTest::newRow("50 of 440") << 440 << 50 << 220;
        QTest::newRow("100 fills all") << 440 << 100 << 440;
        QTest::newRow("1 of 440 rounds 4.4 down") << 440 << 1 << 4;
        QTest::newRow("50 of 441 rounds 220.5 up") << 441 << 50 << 221;
        QTest::newRow("above 100 held at the end") << 440 << 250 << 440;
        QTest::newRow("negative held at 0") << 440 << -20 << 0;
    }

    void fillWidth()
    {
        QFETCH(int, width);
        QFETCH(int, position);
        QFETCH(int, filled);
        ProgressBarCtrl bar;
        bar.SetBackgroundColor(0xFFFFFF);
        bar.resize(width, 30);
        QVERIFY(bar.SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillCurrentId));
        QCOMPARE(bar.size(), QSize(width, m_trackImage.height()));
        bar.SetPosition(position);
        QCOMPARE(bar.FillEnd(), filled);

        const QImage shot = bar.grab().toImage();
        const QColor fill = m_fillImage.pixelColor(0, kMidY);
        const QColor track = m_trackImage.pixelColor(0, kMidY);
        QCOMPARE(FilledColumns(shot, fill), filled);
        for (int x = filled; x < width; ++x)
            QCOMPARE(shot.pixelColor(x, kMidY), track);
    }

    void magentaShowsBackground()
    {
        ProgressBarCtrl bar;
        bar.SetBackgroundColor(0x4D3620); // red 0x20, green 0x36, blue 0x4D
        QVERIFY(bar.SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillTotalId));
        bar.resize(300, 10);
        bar.SetPosition(40);
        const QImage shot = bar.grab().toImage();
        const QColor background(0x20, 0x36, 0x4D);
        const QImage fill(GetResFilePath(ProgressBarCtrl::ImageFileName(ProgressBarCtrl::FillTotalId)));
        const int magentaRows[] = {0, m_trackImage.height() - 1};
        for (int y : magentaRows) {
            QCOMPARE(m_trackImage.pixelColor(0, y), QColor(0xFF, 0x00, 0xFF));
            QCOMPARE(fill.pixelColor(0, y), QColor(0xFF, 0x00, 0xFF));
            for (int x : {0, 60, 119, 120, 299})
                QCOMPARE(shot.pixelColor(x, y), background);
        }
        QCOMPARE(FilledColumns(shot, fill.pixelColor(0, kMidY)), 120);
    }

    void unloadableTrack()
    {
        ProgressBarCtrl bar;
        QVERIFY(!bar.SetImages(0, ProgressBarCtrl::FillCurrentId));
        QVERIFY(!bar.SetImages(999, ProgressBarCtrl::FillCurrentId));
        QVERIFY(!bar.SetImageFiles(GetResFilePath(QStringLiteral("no such track.bmp")), QString()));
        bar.SetBackgroundColor(0x00FF00);
        bar.resize(200, 10);
        bar.SetPosition(70);
        const QImage shot = bar.grab().toImage();
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x)
                QCOMPARE(shot.pixelColor(x, y), QColor(0, 0xFF, 0));
        }
    }

    void resizeKeepsPercentage()
    {
        ProgressBarCtrl bar;
        QVERIFY(bar.SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillCurrentId));
        bar.resize(440, 10);
        bar.SetPosition(25);
        QCOMPARE(bar.FillEnd(), 110);
        bar.resize(200, 10);
        QCOMPARE(bar.Position(), 25);
        QCOMPARE(bar.FillEnd(), 50);
        QCOMPARE(FilledColumns(bar.grab().toImage(), m_fillImage.pixelColor(0, kMidY)), 50);
    }
};

QTEST_MAIN(TstProgressBarCtrl)
#include "tst_progress_bar_ctrl.moc"
