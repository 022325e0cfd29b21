#pragma once

#include "skin/skin_dialog.h"

class ChartCtrl;
class ImageButton;
class QFrame;
class QLineEdit;

// The page of the movie options dialog: the save folder, the button that changes it, and
// how full the folder's file system is (mount point, total, in use, available, and a pie of
// used against free). It edits the folder string it is given, which must outlive the page.
// Enter and Escape stop here so that neither closes the dialog. Window thread.
class SaveFolderPage : public SkinDialog {
    Q_OBJECT
public:
    enum ControlId {
        IdTitle = 1065,
        IdFolder = 1023,
        IdChooseFolder = 1014,
        IdDrive = 1067,
        IdTotal = 1068,
        IdInUse = 1069,
        IdAvailable = 1070,
        IdGroup = 1091,
        IdChart = 1024,
    };
    // COLORREF values of the used and the free slice.
    static constexpr quint32 UsedColor = 0xFF0000;
    static constexpr quint32 FreeColor = 0xFF00FF;

    // An empty folder becomes the default output folder (created when missing).
    SaveFolderPage(QString *folder, QWidget *parent);

    // Shows the figures of the folder's file system, or hides them (the four labels and the
    // chart) when the folder does not exist or its file system cannot be read.
    void RefreshDiskUsage();
    // Opens the folder browser at the current folder and takes a folder the user picks.
    void ChooseFolder();
    // The dialog asks before it closes with Apply; any folder is accepted.
    bool IsInputValid() const { return true; }

    // Mount point whose figures are shown; empty while they are hidden.
    QString ShownRoot() const { return m_shownRoot; }
    QLineEdit *FolderField() const { return m_folderField; }
    ImageButton *Button(int id) const; // labels and the choose-folder button
    ChartCtrl *Chart() const { return m_chart; }
    QFrame *GroupFrame() const { return m_group; }

protected:
    void PaintClient(QPainter &painter, const QRect &dirty) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void SetDiskWidgetsVisible(bool visible);

    QString *m_folder;
    QString m_shownRoot;
    QLineEdit *m_folderField = nullptr;
    ImageButton *m_drive = nullptr;
    ImageButton *m_total = nullptr;
    ImageButton *m_inUse = nullptr;
    ImageButton *m_available = nullptr;
    QFrame *m_group = nullptr;
    ChartCtrl *m_chart = nullptr;
};
