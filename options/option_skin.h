#pragma once

#include <QRect>
#include <QString>

class ImageButton;
class QLineEdit;
class QWidget;
class SkinDialog;

// What the options dialogs share in their look. Window thread.

// The options caption strip and its close button; false when an image cannot be read.
bool SetOptionsCaption(SkinDialog &dialog);
// The language file's default font for the dialog and the controls created after it.
void UseDefaultFont(SkinDialog &dialog);
// A bold command button or tab drawn from image (res/), with the text of textKey.
ImageButton *CreateCommandButton(QWidget *parent, int id, const QString &image, const QString &textKey,
                                 const QRect &rect);
// A label showing the text of textKey; bold when asked.
ImageButton *CreateLabel(QWidget *parent, int id, const QString &textKey, const QRect &rect, bool bold);
// The read-only field that shows a folder; only the folder browser changes it.
QLineEdit *CreateFolderField(QWidget *parent, const QRect &rect);
// The ImageButton with id among root's descendants, or nullptr.
ImageButton *FindButton(const QWidget *root, int id);
