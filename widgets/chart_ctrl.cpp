#include "widgets/chart_ctrl.h"

#include "widgets/colorref.h"

#include <QPainter>
#include <cmath>

namespace {
constexpr double kTwoPi = 6.283185307;

// The point at angle t (radians, counter-clockwise from 3 o'clock) and distance d.
QPoint PointAt(int cx, int cy, double t, double d)
{
    return QPoint(int(cx + d * std::cos(t)), int(cy - d * std::sin(t)));
}

int SixteenthsOfDegree(double radians) { return int(std::lround(radians * 180.0 * 16.0 / M_PI)); }
} // namespace

ChartCtrl::ChartCtrl(QWidget *parent)
    : QWidget(parent)
{
}

void ChartCtrl::SetStyle(int style)
{
    m_style = style;
    update();
}

void ChartCtrl::SetPalette(const QList<std::uint32_t> &colorRefs)
{
    m_palette.clear();
    for (std::uint32_t ref : colorRefs)
        m_palette.append(FromColorRef(ref));
    update();
}

int ChartCtrl::AddValue(double value, const QString &label, bool repaint)
{
    if (!(value > 0) || !std::isfinite(value) || !std::isfinite(m_total + value))
        return 0;
    m_values.append({value, label});
    m_total += value;
    if (repaint)
        update();
    return 1;
}

void ChartCtrl::ClearValues()
{
    m_values.clear();
    m_total = 0;
    update();
}

void ChartCtrl::paintEvent(QPaintEvent *)
{
    if (m_values.isEmpty() || m_palette.size() < 2 || !(m_total > 0))
        return;

    QPainter p(this);
    p.fillRect(rect(), QColor(0xF0, 0xF0, 0xF0));
    const int cx = width() / 2;
    const int cy = height() / 2;
    const int r = qMin(width() / 2 - 40, height() / 2 - 30);
    if (r <= 0)
        return;
    const QRect disc(cx - r, cy - r, 2 * r, 2 * r);
    p.setRenderHint(QPainter::Antialiasing);

    // Slices first, outlines and labels over them.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(disc);
    double c = 0;
    for (int i = 0; i < m_values.size(); ++i) {
        const double a = m_values[i].value * kTwoPi / m_total;
        const int from = SixteenthsOfDegree(c);
        const int to = i + 1 == m_values.size() ? 360 * 16 : SixteenthsOfDegree(c + a);
        p.setBrush(m_palette[i % m_palette.size()]);
        if (to - from >= 360 * 16)
            p.drawEllipse(disc);
        else
            p.drawPie(disc, from, to - from);
        c += a;
    }

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1));
    // Through pixel centres, so straight lines stay one crisp pixel wide.
    p.translate(0.5, 0.5);
    p.drawEllipse(disc);
    p.drawLine(cx, cy, cx + r, cy);
    p.setFont(font());
    c = 0;
    for (int i = 0; i < m_values.size(); ++i) {
        const double v = m_values[i].value;
        const double a = v * kTwoPi / m_total;
        c += a;
        p.setPen(Qt::black);
        p.drawLine(QPoint(cx, cy), PointAt(cx, cy, c, r));

        // Leader: out from the slice a third of its width back from its far edge, then sideways.
        const double m = c - a / 3;
        const QPoint p1 = PointAt(cx, cy, m, 1.2 * r);
        p.drawLine(PointAt(cx, cy, m, r), p1);
        const int side = p1.x() > cx ? 1 : -1;
        const int x2 = p1.x() + (i == 0 ? 27 : 22) * side;
        p.drawLine(p1, QPoint(x2, p1.y()));

        QRect box = side > 0 ? QRect(QPoint(x2 - 20, p1.y() - 20), QPoint(x2 + 75, p1.y() + 40))
                             : QRect(QPoint(x2 - 75, p1.y() - 20), QPoint(x2 + 20, p1.y() + 40));
        if (side > 0)
            box.setRight(box.right() + 4);
        else
            box.setLeft(box.left() - 4);
        const QString text = m_values[i].label + QLatin1Char('\n') + QString::asprintf("%.1f%%", v * 100.0 / m_total);
        p.resetTransform();
        p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, text);
        p.translate(0.5, 0.5);
    }
}
