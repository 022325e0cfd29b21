#pragma once

#include "image/image_intake.h"
#include "image/image_run.h"
#include "image/image_settings.h"
#include "options/image_options_dlg.h"
#include "page/converter_page.h"

#include <functional>
#include <memory>

// The image-mode page: the shared page with the HD/SD boxes, the image settings and an
// ImageRun, whose worker thread converts the checked rows, and the words of its four progress
// labels. The launcher hosts it as a child page (Kind::Child). Window thread.
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

    ImageRun &Run() { return *m_run; }
    const ImageSettings &Settings() const { return m_settings; }
    ::OutputFolder OutputFolder() const override { return ::OutputFolder(m_settings.saveFolder); }
    const ImageBoxes &Boxes() const { return m_boxes; }
    // The box a run started now would use.
    QSize ChosenBox() const { return m_boxes.Chosen(IsHdChecked()); }

    // The options dialog (ImageOptionsDlg::Edit by default): edits a copy of the values, true
    // when the user applied them. Tests may put a stand-in here.
    using OptionsDialogRunner = std::function<bool(QWidget *owner, ImageOptionValues &values)>;
    void SetOptionsDialog(OptionsDialogRunner runner) { m_optionsDialog = std::move(runner); }

    void OnOptionCommand() override;

protected:
    void FillRequest(RunRequest &request) const override;
    void ShowProgressTexts(const RunProgress &progress) override;
    void ShowMomentTexts(RunMoment moment) override;
    void ShowRunEndTexts(const RunSummary &summary) override;

private:
    void ShowLabels(const QString &current, const QString &time, const QString &total);
    void ShowTimeLeft(int seconds);

    ImageSettings m_settings;
    ImageBoxes m_boxes;
    OptionsDialogRunner m_optionsDialog;
    // Last, so that it goes first: a picture still in work is finished and the worker's
    // thread joined before the rest of the page goes.
    std::unique_ptr<ImageRun> m_run;
};
