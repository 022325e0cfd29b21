#pragma once

#include "image/image_intake.h"
#include "image/image_list.h"
#include "image/image_run_controller.h"
#include "image/image_settings.h"
#include "options/image_options_dlg.h"
#include "shell/skin_dialog.h"

#include <QPixmap>

#include <functional>
#include <memory>

class FileListCtrl;
class ImageButton;
class ProgressBarCtrl;

// The image-mode page: the picture list, the HD/SD choice, the run buttons and the progress
// panel. It owns the image settings, the list and the ImageRunController whose worker thread
// converts the checked rows; every signal of the run reaches the page queued, on the window
// thread. The launcher hosts it as a child page (Kind::Child), asks IsConverting() before a
// mode switch and calls StopAndWait() in its exit procedure. Window thread.
class ImageWindow : public SkinDialog {
    Q_OBJECT
public:
    // Control ids, as the skin and the tests know them.
    enum ControlId {
        kListId = 1092,
        kAddId = 1007,
        kDeleteId = 1008,
        kOptionId = 1009,
        kHdId = 5155,
        kSdId = 5156,
        kDeleteSourcesId = 5149,
        kShutDownId = 5150,
        kFolderLabelId = 1095,
        kOpenFolderId = 1093,
        kConvertId = 1088,
        kCancelId = 1089,
        kPauseId = 1090,
        kResumeId = 1091,
        kCurrentLabelId = 1100,   // labels have no id of their own in the skin; these name them
        kTimeLabelId = 1101,
        kTotalLabelId = 1102,
    };
    static constexpr int kClientWidth = 700;
    static constexpr int kClientHeight = 444;

    explicit ImageWindow(QWidget *parent = nullptr, Kind kind = Kind::Child);
    ~ImageWindow() override;   // a running worker is stopped and its thread joined

    // For the launcher: a run is active (mode switches are refused meanwhile).
    bool IsConverting() const { return m_run->IsConverting(); }
    // For the launcher's exit: asks the worker to stop, waits until the picture in work is
    // done and ends the run here and now, without the end-of-run actions (no message, no
    // sources moved, no power-off). Harmless when idle.
    void StopAndWait();

    // Controls by id (nullptr for an unknown id), the list and the progress bars.
    ImageButton *Button(int id) const;
    FileListCtrl &List() { return *m_list; }
    ImageList &Pictures() { return m_pictures; }
    ProgressBarCtrl *CurrentBar() const { return m_currentBar; }
    ProgressBarCtrl *TotalBar() const { return m_totalBar; }
    ImageRunController &Run() { return *m_run; }

    const ImageSettings &Settings() const { return m_settings; }
    const ImageBoxes &Boxes() const { return m_boxes; }
    // The box a run started now would use.
    QSize ChosenBox() const;

    // The options dialog (ImageOptionsDlg::Edit by default): edits a copy of the values, true
    // when the user applied them. Tests may put a stand-in here.
    using OptionsDialogRunner = std::function<bool(QWidget *owner, ImageOptionValues &values)>;
    void SetOptionsDialog(OptionsDialogRunner runner) { m_optionsDialog = std::move(runner); }

    // Commands, as the buttons, keys and drops run them. Each does nothing while converting
    // where the page's look says it may not act.
    void OnAddCommand();
    void OnDeleteCommand();
    void OnOptionCommand();
    void OnOpenFolderCommand();
    void OnConvertCommand();
    void OnCancelCommand();
    void OnPauseCommand();
    void OnResumeCommand();
    void OnFilesDropped(const QStringList &paths);

signals:
    // The page went busy (Convert accepted) or idle again (its run ended).
    void convertingChanged(bool converting);

protected:
    void PaintClient(QPainter &painter, const QRect &dirty) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void CreateControls();
    ImageButton *MakeButton(int id, const QString &image, const QString &text, QPoint at);
    ImageButton *MakeLabel(int id, const QRect &rect);
    void ConnectRun();

    void ShowIdleProgress();
    void ShowFolder();
    void SetIntakeEnabled(bool enabled);
    void EndRunCommon();
    void OnRunCancelled();
    void OnRunFinished(const ImageRunResult &result);

    ImageSettings m_settings;
    ImageBoxes m_boxes;
    FileListCtrl *m_list = nullptr;
    ImageList m_pictures;
    ProgressBarCtrl *m_currentBar = nullptr;
    ProgressBarCtrl *m_totalBar = nullptr;
    QList<ImageButton *> m_buttons;
    QPixmap m_listPanel;
    QPixmap m_infoPanel;
    OptionsDialogRunner m_optionsDialog;
    bool m_stopping = false;   // the exit stops the run: its end does nothing more
    std::unique_ptr<ImageRunController> m_run;
};
