#include "options/option_skin.h"

#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/skin_dialog.h"

#include <QLineEdit>

bool SetOptionsCaption(SkinDialog &dialog)
{
    if (!dialog.SetCaptionImage("Comm_Caption_option.png", "Laun_close.png", "Comm_max.png", "Laun_mini.png",
                                "Laun_help.png"))
        return false;
    // A modal dialog is closed, never minimised or maximised.
    dialog.SetCaptionButtonsVisible(false, false, false);
    return true;
}

void UseDefaultFont(SkinDialog &dialog)
{
    dialog.SetFontName(Lang::Get("IDS_GOPT_DEFAULT_FONT"), Lang::GetInt("IDS_GOPT_DEFAULT_FONTSIZE"));
}

ImageButton *CreateCommandButton(QWidget *parent, int id, const QString &image, const QString &textKey,
                                 const QRect &rect)
{
    auto *button = new ImageButton(parent);
    button->Create(parent, id, image, Lang::Get(textKey), rect);
    button->SetFontStyle(true);
    return button;
}

ImageButton *CreateLabel(QWidget *parent, int id, const QString &textKey, const QRect &rect, bool bold)
{
    auto *label = new ImageButton(parent);
    label->CreateStatic(parent, id, textKey.isEmpty() ? QString() : Lang::Get(textKey), rect);
    if (bold)
        label->SetFontStyle(true);
    return label;
}

QLineEdit *CreateFolderField(QWidget *parent, const QRect &rect)
{
    auto *field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setGeometry(rect);
    field->setTextMargins(1, 0, 1, 0);
    field->show();
    return field;
}

ImageButton *FindButton(const QWidget *root, int id)
{
    const auto buttons = root->findChildren<ImageButton *>();
    for (ImageButton *button : buttons) {
        if (button->Id() == id)
            return button;
    }
    return nullptr;
}
