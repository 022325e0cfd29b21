#pragma once

#include "skin/skin_dialog.h"

class ImageButton;
class SaveFolderPage;

// The options dialog of movie mode: one tab whose page is the save-folder page. It edits a
// copy of the save folder; the caller reads SaveFolder() after Apply (Accepted) and keeps its
// own folder after Cancel or a close. Window thread.
//
//   if (OptionsDlg::Edit(m_settings.options.SaveFolder, this)) {
//       ...store the settings, show the new folder...
//   }
class OptionsDlg : public SkinDialog {
    Q_OBJECT
public:
    enum ControlId { IdTab = 1006, IdApply = 1081, IdCancel = 1016 };

    explicit OptionsDlg(const QString &saveFolder, QWidget *parent = nullptr);
    ~OptionsDlg() override;

    // Opens the dialog modally on folder; true, with folder changed to the edited one, when
    // the user applied. A dialog that cannot be created counts as cancelled.
    static bool Edit(QString &folder, QWidget *parent);

    // False when the caption images could not be read; such a dialog does not open.
    bool IsCreated() const { return m_created; }
    // Rejected at once, without showing anything, when the dialog was not created.
    int exec() override;

    QString SaveFolder() const { return m_saveFolder; }
    SaveFolderPage *Page() const { return m_page; }
    ImageButton *Button(int id) const;

private:
    void OnTab();
    void OnApply();

    QString m_saveFolder; // the page edits this copy
    bool m_created = false;
    SaveFolderPage *m_page = nullptr;
    ImageButton *m_tab = nullptr;
};
