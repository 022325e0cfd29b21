#pragma once

#include "image/image_intake.h"
#include "image/image_run_controller.h"
#include "image/image_settings.h"
#include "options/image_options_dlg.h"
#include "page/converter_page.h"

#include <functional>
#include <memory>

// The image-mode page: the shared page with the HD/SD boxes, the image settings and an
// ImageRunController, whose worker thread converts the checked rows; the run's values reach
// the page queued, on the window thread, and are mapped onto the labels, bars and rows. The
// launcher hosts it as a child page (Kind::Child), asks IsConverting() before a mode switch
// and calls StopAndWait() in its exit procedure. Window thread.
class ImageWindow : public ConverterPage {
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
        kCurrentLabelId = 1100, // labels have no id of their own in the skin; these name them
        kTimeLabelId = 1101,
        kTotalLabelId = 1102,
        kTimeLeftLabelId = 1103,
    };
    static constexpr int kClientHeight = 444;

    explicit ImageWindow(QWidget *parent = nullptr, Kind kind = Kind::Child);
    ~ImageWindow() override; // a running worker is stopped and its thread joined

    // For the launcher: a run is active (mode switches are refused meanwhile).
    bool IsConverting() const { return m_run->IsConverting(); }
    bool IsRunActive() const override { return IsConverting(); }
    // For the launcher's exit: asks the worker to stop, waits until the picture in work is
    // done and ends the run here and now, without the end-of-run actions. Harmless when idle.
    void StopAndWait();

    ImageRunController &Run() { return *m_run; }
    const ImageSettings &Settings() const { return m_settings; }
    QString SaveFolder() const override { return m_settings.saveFolder; }
    const ImageBoxes &Boxes() const { return m_boxes; }
    // The box a run started now would use.
    QSize ChosenBox() const { return m_boxes.Chosen(IsHdChecked()); }

    // The options dialog (ImageOptionsDlg::Edit by default): edits a copy of the values, true
    // when the user applied them. Tests may put a stand-in here.
    using OptionsDialogRunner = std::function<bool(QWidget *owner, ImageOptionValues &values)>;
    void SetOptionsDialog(OptionsDialogRunner runner) { m_optionsDialog = std::move(runner); }

    void OnConvertCommand() override;
    void OnCancelCommand() override;
    void OnPauseCommand() override;
    void OnResumeCommand() override;
    void OnOptionCommand() override;

signals:
    // The page went busy (Convert accepted) or idle again (its run ended).
    void convertingChanged(bool converting);

private:
    void ConnectRun();
    void ShowLabels(const QString &current, const QString &time, const QString &total);
    void ShowTimeLeft(int seconds);
    void OnRunEnded(const RunSummary &summary);

    ImageSettings m_settings;
    ImageBoxes m_boxes;
    OptionsDialogRunner m_optionsDialog;
    std::unique_ptr<ImageRunController> m_run;
};
