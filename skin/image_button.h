#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

// A skinned button, tab, check box, radio button or label, drawn from one image file that
// holds its frames side by side, all the same width:
//   push style (0):          normal, hover, pressed, disabled/selected          (4 frames)
//   check box (3), radio (4): the same four unchecked, then the same four checked (8 frames)
// SetFrameCount() overrides the count for an image laid out otherwise. A push button's frame
// is stretched over the button; a check box or radio draws its frame at its own size on the
// left, vertically centred, with the text after it.
//
// State 1 is normal; state 8 shows the fourth frame (a selected tab, a command that may not
// act) and refuses clicks from mouse and keyboard, as does a disabled button. Clicks emit
// QAbstractButton::clicked and clickedId(id). Style 3 toggles on click; style 4 checks itself
// and unchecks the other radio-style ImageButtons of the same parent.
// Window thread only.
class ImageButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Style { PushStyle = 0, CheckBoxStyle = 3, RadioStyle = 4 };
    static constexpr int StateNormal = 1;
    static constexpr int StateSelected = 8; // also the disabled look of command buttons
    static constexpr quint32 DefaultKeyColor = 0xFFFF00FF;

    explicit ImageButton(QWidget *parent = nullptr);

    // Places the button at rect (parent coordinates), loads its image and shows it. imageFile
    // is a file in res/ ("tab_mode_movie.png"; a leading "/" or "\" is ignored) or an absolute
    // path. Pixels of keyColor (ARGB; alpha 0 turns keying off) are drawn transparent, for
    // bitmaps without alpha. Returns false when the image cannot be read; the button still
    // exists and shows its text.
    bool Create(QWidget *parent, int id, const QString &imageFile, const QString &text, const QRect &rect,
                quint32 keyColor = DefaultKeyColor);
    // A label: text only, transparent to the mouse, left-aligned and vertically centred.
    void CreateStatic(QWidget *parent, int id, const QString &text, const QRect &rect);

    int Id() const { return m_id; }
    bool SetImage(const QString &imageFile, quint32 keyColor = DefaultKeyColor);
    bool IsImageLoaded() const { return !m_image.isNull(); }
    void SetFrameCount(int frames);
    int FrameCount() const;
    // Index of the frame the button shows now (used by paintEvent; tests read it).
    int CurrentFrame() const;

    void SetState(int state);
    int State() const { return m_state; }
    bool RefusesClicks() const;

    void SetButtonStyle(int style);
    int ButtonStyle() const { return m_style; }
    void SetCheck(bool checked) { setChecked(checked); }
    bool GetCheck() const { return isChecked(); }

    // Text box: by default the whole button (after the image for check and radio styles).
    // SetTextPos moves its top-left corner, SetTextSize fixes its size.
    void SetTextPos(int x, int y);
    void SetTextSize(int width, int height);
    void SetTextAlign(Qt::Alignment align)
    {
        m_textAlign = align;
        update();
    }
    void SetFontName(const QString &face);
    void SetFontSize(double pointSize);
    void SetFontStyle(bool bold);
    void SetFontColor(const QColor &color)
    {
        m_textColor = color;
        update();
    }
    // Text colour in state 8 and when disabled.
    void SetDisabledFontColor(const QColor &color)
    {
        m_disabledTextColor = color;
        update();
    }
    void SetWindowTextW(const QString &text) { setText(text); }
    QRect TextRect() const;

signals:
    void clickedId(int id);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void nextCheckState() override;
    bool hitButton(const QPoint &pos) const override;

private:
    QPixmap m_image;
    int m_id = 0;
    int m_state = StateNormal;
    int m_style = PushStyle;
    int m_frames = 0; // 0: by style
    bool m_static = false;
    QPoint m_textPos{-1, -1};
    QSize m_textSize;
    Qt::Alignment m_textAlign = Qt::AlignCenter;
    QColor m_textColor{Qt::black};
    QColor m_disabledTextColor{0x99, 0x99, 0x99};
};

// 0x00BBGGRR as Windows writes colours: 0x4D3620 is red 0x20, green 0x36, blue 0x4D.
QColor ColorFromRef(quint32 colorRef);
