#include "widgets/chart_ctrl.h"

#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <limits>

namespace {
// The size the options page gives the chart.
constexpr int kW = 285;
constexpr int kH = 154;
const QColor kBlue(0, 0, 0xFF);       // COLORREF 0xFF0000
const QColor kMagenta(0xFF, 0, 0xFF); // COLORREF 0xFF00FF
const QColor kBackground(0xF0, 0xF0, 0xF0);

struct Geometry {
    int cx = kW / 2;
    int cy = kH / 2;
    int r = qMin(kW / 2 - 40, kH / 2 - 30);
    QPoint At(double degrees, double d) const
    {
        const double t = degrees * M_PI / 180.0;
        return QPoint(int(cx + d * std::cos(t)), int(cy - d * std::sin(t)));
    }
};

QImage Shot(ChartCtrl &chart) { return chart.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// True when every pixel of text, drawn where the label of a slice ending at endDeg and spanning
// spanDeg belongs, shows up in the chart's picture.
bool LabelDrawn(const QImage &shot, const QFont &font, double endDeg, double spanDeg, bool first, const QString &text)
{
    const Geometry g;
    const QPoint p1 = g.At(endDeg - spanDeg / 3, 1.2 * g.r);
    const int side = p1.x() > g.cx ? 1 : -1;
    const int x2 = p1.x() + (first ? 27 : 22) * side;
    const QRect box = side > 0 ? QRect(QPoint(x2 - 20, p1.y() - 20), QPoint(x2 + 79, p1.y() + 40))
                               : QRect(QPoint(x2 - 79, p1.y() - 20), QPoint(x2 + 20, p1.y() + 40));
    QImage expected(shot.size(), QImage::Format_RGB32);
    expected.fill(kBackground);
    {
        QPainter p(&expected);
        p.setRenderHint(QPainter::Antialiasing);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, text);
    }
    int inked = 0;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            if (expected.pixel(x, y) == kBackground.rgb())
                continue;
            ++inked;
            if (shot.pixel(x, y) != expected.pixel(x, y))
                return false;
        }
    }
    return inked > 20;
}

void Fill(ChartCtrl &chart, std::initializer_list<std::pair<double, const char *>> values)
{
    chart.SetStyle(ChartCtrl::PieStyle);
    chart.SetPalette({0xFF0000, 0xFF00FF});
    for (const auto &[value, label] : values)
        QCOMPARE(chart.AddValue(value, QString::fromUtf8(label)), 1);
}
} // namespace

class TstChartCtrl : public QObject {
    Q_OBJECT
private slots:
    void refusesValuesNotAboveZero_data()
    {
        QTest::addColumn<double>("value");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -5.0;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
    }

    void refusesValuesNotAboveZero()
    {
        QFETCH(double, value);
        ChartCtrl chart;
        chart.resize(kW, kH);
        Fill(chart, {{40, "U"}});
        const QImage before = Shot(chart);
        QCOMPARE(chart.AddValue(value, QStringLiteral("X")), 0);
        QCOMPARE(chart.ValueCount(), 1);
        QCOMPARE(chart.Total(), 40.0);
        QCOMPARE(Shot(chart), before);
    }

    void slicesRunCounterClockwiseFromThreeOClock_data()
    {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<QColor>("colour");
        // 30 of 100 spans 0-108 degrees, 70 the rest.
        QTest::newRow("just above 3 o'clock") << 6.0 << kBlue;
        QTest::newRow("12 o'clock") << 90.0 << kBlue;
        QTest::newRow("just before 108") << 102.0 << kBlue;
        QTest::newRow("just after 108") << 114.0 << kMagenta;
        QTest::newRow("9 o'clock") << 180.0 << kMagenta;
        QTest::newRow("just below 3 o'clock") << 354.0 << kMagenta;
    }

    void slicesRunCounterClockwiseFromThreeOClock()
    {
        QFETCH(double, degrees);
        QFETCH(QColor, colour);
        ChartCtrl chart;
        chart.resize(kW, kH);
        Fill(chart, {{30, "U"}, {70, "F"}});
        const QImage shot = Shot(chart);
        const Geometry g;
        QCOMPARE(shot.pixelColor(g.At(degrees, 0.7 * g.r)), colour);
        QCOMPARE(shot.pixelColor(2, 2), kBackground);
        // The first slice's edge is a radius to 3 o'clock: black on it, colours either side.
        QCOMPARE(shot.pixelColor(g.cx + g.r / 2, g.cy), QColor(Qt::black));
    }

    void labelsCarryPercentages()
    {
        ChartCtrl chart;
        chart.resize(kW, kH);
        Fill(chart, {{30, "U"}, {70, "F"}});
        const QImage shot = Shot(chart);
        QVERIFY(LabelDrawn(shot, chart.font(), 108, 108, true, QStringLiteral("U\n30.0%")));
        QVERIFY(LabelDrawn(shot, chart.font(), 360, 252, false, QStringLiteral("F\n70.0%")));
        QVERIFY(!LabelDrawn(shot, chart.font(), 360, 252, false, QStringLiteral("F\n70.1%")));

        // New values after clearing are shares of the new total only.
        chart.ClearValues();
        QCOMPARE(chart.Total(), 0.0);
        QCOMPARE(chart.AddValue(1, QStringLiteral("U")), 1);
        QCOMPARE(chart.AddValue(4, QStringLiteral("F")), 1);
        const QImage again = Shot(chart);
        QVERIFY(LabelDrawn(again, chart.font(), 72, 72, true, QStringLiteral("U\n20.0%")));
        QVERIFY(LabelDrawn(again, chart.font(), 360, 288, false, QStringLiteral("F\n80.0%")));
    }

    void oneValueFillsTheDisc()
    {
        ChartCtrl chart;
        chart.resize(kW, kH);
        Fill(chart, {{12.5, "Used"}});
        const QImage shot = Shot(chart);
        const Geometry g;
        for (double deg = 15; deg < 360; deg += 30)
            QCOMPARE(shot.pixelColor(g.At(deg, 0.7 * g.r)), kBlue);
        QVERIFY(LabelDrawn(shot, chart.font(), 360, 360, true, QStringLiteral("Used\n100.0%")));
    }

    void drawsNothingWithoutTwoColours()
    {
        ChartCtrl chart;
        chart.resize(kW, kH);
        const QImage blank = Shot(chart);
        chart.SetPalette({0xFF0000});
        QCOMPARE(chart.AddValue(30, QStringLiteral("U")), 1);
        QCOMPARE(Shot(chart), blank);
        chart.SetPalette({0xFF0000, 0xFF00FF});
        QVERIFY(Shot(chart) != blank);
        chart.ClearValues();
        QCOMPARE(Shot(chart), blank);
    }
};

QTEST_MAIN(TstChartCtrl)
#include "tst_chart_ctrl.moc"
