#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <initializer_list>

class ImageButton;
class QPainter;
class QPixmap;
class QWidget;

// Layout and small helpers both conversion pages share: the skin's background and where its
// two panel pictures go. Window thread.

constexpr quint32 kPageBackground = 0x4D3620; // COLORREF: navy
constexpr QPoint kListPanelAt{10, 43};
constexpr QPoint kInfoPanelAt{10, 268};

// One frame of a skin image laid out as frames side by side; the fallback when it is missing,
// so that the control keeps its place and its text.
QSize FrameSize(const QString &image, int frames, QSize fallback);

// A skin button on parent, one frame of image wide (70x30 when the image is missing), its text
// bold in the language file's font.
ImageButton *MakeSkinButton(QWidget *parent, int id, const QString &image, const QString &text, QPoint at,
                            int frames = 4);
// A static text on parent, bold and black in the language file's font.
ImageButton *MakeSkinLabel(QWidget *parent, int id, const QRect &rect);
// Convert, Cancel, Pause, Resume: the picture's symbol fills the top, the white text goes below
// it, at IDS_GOPT_BIGBTN_FONTSIZE when that is set.
void StyleBigButtons(std::initializer_list<ImageButton *> buttons);
// Add, Delete, Option: black text right of the picture's symbol.
void StyleMenuButtons(std::initializer_list<ImageButton *> buttons);
// An HD/SD choice on parent: white bold text beside the radio picture.
ImageButton *MakeSkinRadio(QWidget *parent, int id, const QString &text, QPoint at);
// A check box on parent with black text; one pixel more above and below rect, so that a
// 16-pixel box is not clipped.
ImageButton *MakeSkinCheckBox(QWidget *parent, int id, const QString &text, const QRect &rect);
// A translation longer than the delete box's place pushes the shutdown box to the right
// rather than being cut; the shutdown box then ends 20 pixels before clientWidth.
void FitOptionBoxes(ImageButton *deleteBox, ImageButton *shutDownBox, int clientWidth);
// A line of labels, left to right: each as wide as its widest text (its title and its widest
// figure), starting at its own x or, where the one before would reach that far, after it. No
// text runs into the next, in any language and font.
struct LabelSlot {
    ImageButton *label;
    QString widest;
    int x;
};
void PlaceLabelLine(std::initializer_list<LabelSlot> line);
// The page's navy background under dirty and its two panel pictures; a missing one is left out.
void PaintPageBackground(QPainter &painter, const QRect &dirty, const QPixmap &listPanel, const QPixmap &infoPanel);
