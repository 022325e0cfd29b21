#include "skin/skin_util.h"

#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/image_button.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

QSize FrameSize(const QString &image, int frames, QSize fallback)
{
    const QImage picture(GetResFilePath(image));
    if (picture.isNull() || frames < 1)
        return fallback;
    return QSize(picture.width() / frames, picture.height());
}

ImageButton *MakeSkinButton(QWidget *parent, int id, const QString &image, const QString &text, QPoint at, int frames)
{
    auto *button = new ImageButton;
    button->Create(parent, id, image, text, QRect(at, FrameSize(image, frames, QSize(70, 30))));
    button->SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")));
    button->SetFontStyle(true);
    return button;
}

ImageButton *MakeSkinLabel(QWidget *parent, int id, const QRect &rect)
{
    auto *label = new ImageButton;
    label->CreateStatic(parent, id, QString(), rect);
    label->SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")));
    label->SetFontStyle(true);
    label->SetFontColor(Qt::black);
    return label;
}

void StyleBigButtons(std::initializer_list<ImageButton *> buttons)
{
    const double bigFont = Lang::GetInt(QStringLiteral("IDS_GOPT_BIGBTN_FONTSIZE"));
    for (ImageButton *big : buttons) {
        big->SetTextPos(0, 16);
        big->SetTextSize(big->width(), qMax(0, big->height() - 16));
        big->SetFontColor(Qt::white);
        big->SetDisabledFontColor(QColor(0xDD, 0xE4, 0xEC));
        if (bigFont > 0)
            big->SetFontSize(bigFont * 0.75); // the skin's size is in pixels
    }
}

void StyleMenuButtons(std::initializer_list<ImageButton *> buttons)
{
    for (ImageButton *menu : buttons) {
        menu->SetTextPos(32, 0);
        menu->SetTextSize(qMax(0, menu->width() - 36), menu->height());
        menu->SetFontColor(Qt::black);
    }
}

ImageButton *MakeSkinRadio(QWidget *parent, int id, const QString &text, QPoint at)
{
    const QString image = QStringLiteral("checkbox_new_01.png");
    const QSize radio = FrameSize(image, 8, QSize(16, 16));
    auto *choice = new ImageButton;
    choice->SetButtonStyle(ImageButton::RadioStyle);
    choice->Create(parent, id, image, text, QRect(at, QSize(95, qMax(radio.height(), 30))));
    choice->SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")));
    choice->SetFontStyle(true);
    choice->SetFontColor(Qt::white);
    return choice;
}

ImageButton *MakeSkinCheckBox(QWidget *parent, int id, const QString &text, const QRect &rect)
{
    auto *box = new ImageButton;
    box->SetButtonStyle(ImageButton::CheckBoxStyle);
    box->Create(parent, id, QStringLiteral("checkbox(C0403).png"), text, rect.adjusted(0, -1, 0, 1));
    box->SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")));
    box->SetFontColor(Qt::black);
    return box;
}

void FitOptionBoxes(ImageButton *deleteBox, ImageButton *shutDownBox, int clientWidth)
{
    const int needed = deleteBox->TextRect().left() + deleteBox->fontMetrics().horizontalAdvance(deleteBox->text()) + 8;
    if (needed <= deleteBox->width())
        return;
    deleteBox->resize(needed, deleteBox->height());
    const int x = qMax(290, deleteBox->geometry().right() + 12);
    shutDownBox->setGeometry(x, shutDownBox->y(), qMax(0, clientWidth - 20 - x), shutDownBox->height());
}

void PlaceLabelLine(std::initializer_list<LabelSlot> line)
{
    constexpr int kGap = 8;
    int end = 0; // of the label before
    for (const LabelSlot &slot : line) {
        const int x = qMax(slot.x, end + kGap);
        const int width = slot.label->fontMetrics().horizontalAdvance(slot.widest) + 2;
        slot.label->setGeometry(x, slot.label->y(), width, slot.label->height());
        end = x + width;
    }
}

void PaintPageBackground(QPainter &painter, const QRect &dirty, const QPixmap &listPanel, const QPixmap &infoPanel)
{
    painter.fillRect(dirty, ColorFromRef(kPageBackground));
    if (!listPanel.isNull())
        painter.drawPixmap(kListPanelAt, listPanel);
    if (!infoPanel.isNull())
        painter.drawPixmap(kInfoPanelAt, infoPanel);
}
