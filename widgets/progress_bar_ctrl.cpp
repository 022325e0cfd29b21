#include "widgets/progress_bar_ctrl.h"

#include "shell/app_paths.h"
#include "widgets/colorref.h"
#include "widgets/skin_image.h"

#include <QPainter>
#include <cmath>

ProgressBarCtrl::ProgressBarCtrl(QWidget *parent)
    : QWidget(parent)
    , m_background(FromColorRef(0xD4D4D4))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString ProgressBarCtrl::ImageFileName(int id)
{
    switch (id) {
    case FillCurrentId: return QStringLiteral("progress_fill_current.bmp");
    case FillTotalId: return QStringLiteral("progress_fill_total.bmp");
    case TrackId: return QStringLiteral("progress_track.bmp");
    default: return {};
    }
}

void ProgressBarCtrl::SetBackgroundColor(std::uint32_t colorRef)
{
    m_background = FromColorRef(colorRef);
    update();
}

bool ProgressBarCtrl::SetImages(int trackId, int fillId)
{
    const QString track = ImageFileName(trackId);
    if (track.isEmpty() || !LoadTrack(GetResFilePath(track)))
        return false;
    if (fillId == 0)
        return true;
    const QString fill = ImageFileName(fillId);
    return !fill.isEmpty() && LoadFill(GetResFilePath(fill));
}

bool ProgressBarCtrl::SetImageFiles(const QString &trackPath, const QString &fillPath)
{
    if (!LoadTrack(trackPath))
        return false;
    return fillPath.isEmpty() || LoadFill(fillPath);
}

bool ProgressBarCtrl::LoadTrack(const QString &path)
{
    const QImage track = LoadKeyedImage(path);
    if (track.isNull())
        return false;
    m_track = track;
    resize(width(), m_track.height()); // keeps its place and width
    updateGeometry();
    update();
    return true;
}

bool ProgressBarCtrl::LoadFill(const QString &path)
{
    const QImage fill = LoadKeyedImage(path);
    if (fill.isNull())
        return false;
    m_fill = fill;
    update();
    return true;
}

void ProgressBarCtrl::SetRange(int lower, int upper)
{
    m_lower = lower;
    m_upper = upper;
}

void ProgressBarCtrl::SetPosition(int percent)
{
    m_percent = qBound(0, percent, 100);
    update();
}

QSize ProgressBarCtrl::sizeHint() const { return QSize(200, m_track.isNull() ? 10 : m_track.height()); }

// Derived from the current width every time, so a resized bar keeps its percentage. Half a
// pixel and more rounds up.
int ProgressBarCtrl::FillEnd() const
{
    const int span = qMax(0, width() - 2 * m_margin);
    return m_margin + int(std::floor(m_percent * span * 0.01 + 0.5));
}

void ProgressBarCtrl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_background);
    const int span = width() - 2 * m_margin;
    if (!m_track.isNull() && span > 0)
        p.drawImage(QRect(m_margin, 0, span, height()), m_track);
    const int fillEnd = FillEnd();
    if (!m_fill.isNull() && fillEnd > m_margin) {
        const int end = width() - m_margin;
        const int w = fillEnd < end ? fillEnd - m_margin : span;
        p.drawImage(QRect(m_margin, 0, w, m_fill.height()), m_fill);
    }
}
