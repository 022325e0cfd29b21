#include "skin/skin_dialog.h"

#include "shell/app_paths.h"
#include "skin/image_button.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

namespace {

QPixmap LoadResImage(const QString &file)
{
    if (file.isEmpty())
        return QPixmap();
    if (QFileInfo(file).isAbsolute() && QFileInfo::exists(file))
        return QPixmap(file);
    return QPixmap(GetResFilePath(file));
}

} // namespace

// The caption strip: title, buttons, and dragging the window by it.
class SkinDialog::CaptionBar : public QWidget {
public:
    explicit CaptionBar(SkinDialog *owner)
        : QWidget(owner)
        , m_owner(owner)
    {
        for (int i = 0; i < 4; ++i) {
            m_buttons[i] = new ImageButton(this);
            m_buttons[i]->hide();
        }
        QObject::connect(m_buttons[Close], &QAbstractButton::clicked, owner, &QWidget::close);
        QObject::connect(m_buttons[Max], &QAbstractButton::clicked, owner,
                         [owner] { owner->isMaximized() ? owner->showNormal() : owner->showMaximized(); });
        QObject::connect(m_buttons[Min], &QAbstractButton::clicked, owner, &QWidget::showMinimized);
        QObject::connect(m_buttons[Help], &QAbstractButton::clicked, owner, &SkinDialog::helpRequested);
    }

    enum Which { Close, Max, Min, Help };

    bool SetImages(const QString &caption, const QString files[4])
    {
        const QPixmap strip = LoadResImage(caption);
        if (strip.isNull() || LoadResImage(files[Close]).isNull())
            return false;
        m_strip = strip;
        for (int i = 0; i < 4; ++i) {
            m_present[i] = !files[i].isEmpty() && m_buttons[i]->SetImage(files[i]);
            if (m_present[i]) {
                const QPixmap frame = LoadResImage(files[i]);
                m_buttons[i]->resize(frame.width() / 4, frame.height());
            }
        }
        UpdateButtons();
        return true;
    }

    void SetVisibleButtons(bool min, bool max, bool help)
    {
        m_wanted[Min] = min;
        m_wanted[Max] = max;
        m_wanted[Help] = help;
        UpdateButtons();
    }

    int StripHeight() const { return m_strip.isNull() ? 0 : m_strip.height(); }
    ImageButton *Button(int which) const { return m_buttons[which]; }

    void UpdateButtons()
    {
        int right = width() - 6;
        for (int i = 0; i < 4; ++i) {
            ImageButton *b = m_buttons[i];
            const bool show = m_present[i] && m_wanted[i];
            b->setVisible(show);
            if (!show)
                continue;
            right -= b->width();
            b->move(right, (height() - b->height()) / 2);
            right -= 2;
        }
        m_titleRight = right;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.drawPixmap(rect(), m_strip);
        int x = 10;
        const QIcon icon = m_owner->windowIcon();
        if (!icon.isNull()) {
            const int s = qMin(16, height() - 4);
            icon.paint(&p, QRect(x, (height() - s) / 2, s, s));
            x += s + 6;
        }
        QFont f = m_owner->font();
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(x, 0, qMax(0, m_titleRight - x), height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_owner->windowTitle());
    }

    void resizeEvent(QResizeEvent *) override { UpdateButtons(); }

    void mousePressEvent(QMouseEvent *e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        QWindow *w = m_owner->windowHandle();
        // The window manager moves it where it can (X11, Wayland); elsewhere we follow the mouse.
        if (w && w->startSystemMove())
            return;
        m_dragging = true;
        m_dragOffset = e->globalPosition().toPoint() - m_owner->frameGeometry().topLeft();
    }

    void mouseMoveEvent(QMouseEvent *e) override
    {
        if (m_dragging && (e->buttons() & Qt::LeftButton))
            m_owner->move(e->globalPosition().toPoint() - m_dragOffset);
    }

    void mouseReleaseEvent(QMouseEvent *) override { m_dragging = false; }

private:
    SkinDialog *m_owner;
    QPixmap m_strip;
    ImageButton *m_buttons[4];
    bool m_present[4] = {false, false, false, false};
    bool m_wanted[4] = {true, false, true, false};
    int m_titleRight = 0;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

// Where the controls live; paints through the owner's PaintClient.
class SkinDialog::ClientArea : public QWidget {
public:
    explicit ClientArea(SkinDialog *owner)
        : QWidget(owner)
        , m_owner(owner)
    {
    }

protected:
    void paintEvent(QPaintEvent *e) override
    {
        QPainter p(this);
        m_owner->PaintClient(p, e->rect());
    }

private:
    SkinDialog *m_owner;
};

SkinDialog::SkinDialog(QWidget *parent, Kind kind)
    : QDialog(parent)
    , m_kind(kind)
{
    if (kind == Kind::Child)
        setWindowFlags(Qt::Widget);
    else
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                       | Qt::WindowCloseButtonHint);
    m_caption = new CaptionBar(this);
    m_caption->hide();
    m_client = new ClientArea(this);
    LayoutParts();
}

SkinDialog::~SkinDialog() = default;

bool SkinDialog::SetCaptionImage(const QString &caption, const QString &close, const QString &maximise,
                                 const QString &minimise, const QString &help)
{
    if (m_kind == Kind::Child)
        return false;
    const QString files[4] = {close, maximise, minimise, help};
    if (!m_caption->SetImages(caption, files))
        return false;
    const QSize client = ClientSize();
    m_caption->show();
    if (minimumSize() == maximumSize()) // keep a fixed client size fixed
        SetClientSize(client.width(), client.height());
    LayoutParts();
    return true;
}

void SkinDialog::SetCaptionButtonsVisible(bool minimise, bool maximise, bool help)
{
    m_caption->SetVisibleButtons(minimise, maximise, help);
}

int SkinDialog::CaptionHeight() const { return m_caption->isHidden() ? 0 : m_caption->StripHeight(); }

ImageButton *SkinDialog::CaptionButton(const QString &which) const
{
    if (which == QLatin1String("close"))
        return m_caption->Button(CaptionBar::Close);
    if (which == QLatin1String("max"))
        return m_caption->Button(CaptionBar::Max);
    if (which == QLatin1String("min"))
        return m_caption->Button(CaptionBar::Min);
    if (which == QLatin1String("help"))
        return m_caption->Button(CaptionBar::Help);
    return nullptr;
}

void SkinDialog::SetClientSize(int width, int height)
{
    setFixedSize(width, height + CaptionHeight());
    LayoutParts();
}

QWidget *SkinDialog::Client() const { return m_client; }

QSize SkinDialog::ClientSize() const { return m_client->size(); }

void SkinDialog::SetFontName(const QString &face, double pointSize)
{
    QFont f = font();
    if (!face.isEmpty())
        f.setFamily(face);
    if (pointSize > 0)
        f.setPointSizeF(pointSize);
    setFont(f);
}

void SkinDialog::SetBackgroundColor(const QColor &color)
{
    m_background = color;
    m_client->update();
}

void SkinDialog::LockWindowUpdate()
{
    if (m_lockDepth++ == 0)
        setUpdatesEnabled(false);
}

void SkinDialog::UnlockWindowUpdate()
{
    if (m_lockDepth > 0 && --m_lockDepth == 0)
        setUpdatesEnabled(true);
}

void SkinDialog::Sleep(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(qMax(0, milliseconds), &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void SkinDialog::PaintClient(QPainter &painter, const QRect &dirty) { painter.fillRect(dirty, m_background); }

void SkinDialog::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Escape:
        if (m_kind == Kind::Window && e->modifiers() == Qt::NoModifier) {
            close();
            e->accept();
        } else {
            e->ignore();
        }
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F4: e->accept(); return;
    default: QDialog::keyPressEvent(e);
    }
}

void SkinDialog::paintEvent(QPaintEvent *)
{
    // The caption and the client area cover the window; nothing else to draw.
}

void SkinDialog::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    LayoutParts();
}

void SkinDialog::LayoutParts()
{
    const int ch = CaptionHeight();
    m_caption->setGeometry(0, 0, width(), ch);
    m_client->setGeometry(0, ch, width(), height() - ch);
}

UpdateLock::UpdateLock(QWidget *widget)
    : m_widget(widget)
    , m_wasEnabled(widget && widget->updatesEnabled())
{
    if (m_widget)
        m_widget->setUpdatesEnabled(false);
}

UpdateLock::~UpdateLock()
{
    if (m_widget && m_wasEnabled)
        m_widget->setUpdatesEnabled(true);
}
