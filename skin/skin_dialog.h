#pragma once

#include <QDialog>
#include <QPixmap>

class ImageButton;
class QPainter;

// Base of every window: a frameless dialog with a caption strip drawn from images (title on
// the left; minimise and close buttons on the right; drag the strip to move the window) and,
// below it, the client area where the window's controls live.
//
//   class OptionsDlg : public SkinDialog { ... };
//   SetCaptionImage("Comm_Caption.png", "Laun_close.png", "Comm_max.png", "Laun_mini.png",
//                   "Laun_help.png");
//   SetClientSize(400, 300);
//   auto *ok = new ImageButton;  ok->Create(Client(), 1, "btn_ok.png", "OK", {10, 10, 80, 24});
//
// Controls are parented to Client(), whose coordinates are the client coordinates of the
// window (0, 0 is just below the caption). A Kind::Child dialog is a page inside another
// window: no caption, and Client() covers it whole. Escape closes a window (through close(),
// so closeEvent can refuse); in a page Escape goes on to the parent window. Enter and F4 do
// nothing. Window thread only.
class SkinDialog : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Window, Child };
    explicit SkinDialog(QWidget *parent = nullptr, Kind kind = Kind::Window);
    ~SkinDialog() override;

    // Images are files in res/ (see ImageButton::Create). The caption image is stretched over
    // the width; each button image holds four frames (normal, hover, pressed, disabled).
    // Empty names leave a button out; the maximise and help buttons show only when
    // SetCaptionButtonsVisible asks for them. False when the caption or close image cannot
    // be read (nothing changes then).
    bool SetCaptionImage(const QString &caption, const QString &close, const QString &maximise, const QString &minimise,
                         const QString &help);
    void SetCaptionButtonsVisible(bool minimise, bool maximise, bool help);
    int CaptionHeight() const;
    ImageButton *CaptionButton(const QString &which) const; // "close", "max", "min", "help"

    // Fixes the window's size to the client size plus the caption.
    void SetClientSize(int width, int height);
    QSize ClientSize() const;
    QWidget *Client() const;

    // Font of the window and every control created on it afterwards; pointSize <= 0 keeps the size.
    void SetFontName(const QString &face, double pointSize);
    void SetBackgroundColor(const QColor &color);

    // Holds repaints of the window during a group of visible changes; nests.
    void LockWindowUpdate();
    void UnlockWindowUpdate();

    // Waits on the window thread; timers, sockets and paints keep running, user input waits.
    static void Sleep(int milliseconds);

    // Runs the window modally; returns QDialog::Accepted (1) or Rejected (0).
    int DoModal() { return exec(); }

signals:
    void helpRequested();

protected:
    // Draws the client background (the erase step); the default fills the background colour.
    virtual void PaintClient(QPainter &painter, const QRect &dirty);
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class CaptionBar;
    class ClientArea;
    friend class ClientArea;

    void LayoutParts();

    Kind m_kind;
    CaptionBar *m_caption = nullptr;
    ClientArea *m_client = nullptr;
    QColor m_background{Qt::white};
    int m_lockDepth = 0;
};

// Holds a widget's repaints for a scope: { UpdateLock lock(page); ...changes... }.
class UpdateLock {
public:
    explicit UpdateLock(QWidget *widget);
    ~UpdateLock();
    UpdateLock(const UpdateLock &) = delete;
    UpdateLock &operator=(const UpdateLock &) = delete;

private:
    QWidget *m_widget;
    bool m_wasEnabled;
};
