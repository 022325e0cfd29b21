#include "skin/image_button.h"

#include "shell/app_paths.h"

#include <QBitmap>
#include <QEvent>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

namespace {

QString ResolveImage(const QString &imageFile)
{
    if (QFileInfo(imageFile).isAbsolute() && QFileInfo::exists(imageFile))
        return imageFile;
    return GetResFilePath(imageFile);
}

} // namespace

QColor ColorFromRef(quint32 colorRef)
{
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

ImageButton::ImageButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, [this] { emit clickedId(m_id); });
}

bool ImageButton::Create(QWidget *parent, int id, const QString &imageFile, const QString &text, const QRect &rect,
                         quint32 keyColor)
{
    setParent(parent);
    m_id = id;
    setText(text);
    setGeometry(rect);
    const bool ok = SetImage(imageFile, keyColor);
    show();
    return ok;
}

void ImageButton::CreateStatic(QWidget *parent, int id, const QString &text, const QRect &rect)
{
    setParent(parent);
    m_id = id;
    m_static = true;
    m_textAlign = Qt::AlignLeft | Qt::AlignVCenter;
    setAttribute(Qt::WA_TransparentForMouseEvents);
    unsetCursor();
    setText(text);
    setGeometry(rect);
    show();
}

bool ImageButton::SetImage(const QString &imageFile, quint32 keyColor)
{
    QImage image(ResolveImage(imageFile));
    if (image.isNull()) {
        m_image = QPixmap();
        update();
        return false;
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    if ((keyColor >> 24) != 0 && !image.hasAlphaChannel()) {
        const QColor key(QRgb(keyColor & 0xFFFFFF));
        pixmap.setMask(pixmap.createMaskFromColor(key, Qt::MaskInColor));
    }
    m_image = pixmap;
    update();
    return true;
}

void ImageButton::SetFrameCount(int frames)
{
    m_frames = qMax(0, frames);
    update();
}

int ImageButton::FrameCount() const
{
    if (m_frames > 0)
        return m_frames;
    return (m_style == CheckBoxStyle || m_style == RadioStyle) ? 8 : 4;
}

int ImageButton::CurrentFrame() const
{
    int frame = 0;
    if (m_state == StateSelected || !isEnabled())
        frame = 3;
    else if (isDown())
        frame = 2;
    else if (underMouse())
        frame = 1;
    const int frames = FrameCount();
    if (isCheckable() && isChecked())
        frame += frames >= 8 ? 4 : 0;
    return qMin(frame, frames - 1);
}

void ImageButton::SetState(int state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (RefusesClicks())
        setDown(false);
    update();
}

bool ImageButton::RefusesClicks() const { return m_static || m_state == StateSelected || !isEnabled(); }

void ImageButton::SetButtonStyle(int style)
{
    m_style = style;
    const bool checkable = style == CheckBoxStyle || style == RadioStyle;
    setCheckable(checkable);
    setAutoExclusive(style == RadioStyle);
    m_textAlign = checkable ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter;
    update();
}

void ImageButton::SetTextPos(int x, int y)
{
    m_textPos = QPoint(x, y);
    update();
}

void ImageButton::SetTextSize(int width, int height)
{
    m_textSize = QSize(width, height);
    update();
}

void ImageButton::SetFontName(const QString &face)
{
    QFont f = font();
    f.setFamily(face);
    setFont(f);
}

void ImageButton::SetFontSize(double pointSize)
{
    if (pointSize <= 0)
        return;
    QFont f = font();
    f.setPointSizeF(pointSize);
    setFont(f);
}

void ImageButton::SetFontStyle(bool bold)
{
    QFont f = font();
    f.setBold(bold);
    setFont(f);
}

QRect ImageButton::TextRect() const
{
    QRect r = rect();
    if ((m_style == CheckBoxStyle || m_style == RadioStyle) && !m_image.isNull())
        r.setLeft(m_image.width() / FrameCount() + 4);
    if (m_textPos.x() >= 0)
        r.setTopLeft(m_textPos);
    if (m_textSize.isValid())
        r.setSize(m_textSize);
    return r;
}

void ImageButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (!m_image.isNull()) {
        const int frames = FrameCount();
        const int fw = m_image.width() / frames;
        const QRect source(CurrentFrame() * fw, 0, fw, m_image.height());
        if (m_style == CheckBoxStyle || m_style == RadioStyle) {
            const QRect target(0, (height() - m_image.height()) / 2, fw, m_image.height());
            p.drawPixmap(target, m_image, source);
        } else {
            p.setRenderHint(QPainter::SmoothPixmapTransform, source.size() != size());
            p.drawPixmap(rect(), m_image, source);
        }
    }
    if (!text().isEmpty()) {
        p.setFont(font());
        const bool dim = !isEnabled() || (m_state == StateSelected && !m_static);
        p.setPen(dim ? m_disabledTextColor : m_textColor);
        QRect tr = TextRect();
        if (isDown() && m_style == PushStyle)
            tr.translate(0, 1);
        p.drawText(tr, int(m_textAlign) | Qt::TextSingleLine, text());
    }
}

bool ImageButton::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (RefusesClicks()) {
            e->accept();
            return true;
        }
        break;
    case QEvent::HoverEnter:
    case QEvent::HoverLeave: update(); break;
    default: break;
    }
    return QAbstractButton::event(e);
}

void ImageButton::nextCheckState()
{
    if (m_style == RadioStyle)
        setChecked(true);
    else
        QAbstractButton::nextCheckState();
}

bool ImageButton::hitButton(const QPoint &pos) const { return rect().contains(pos); }
