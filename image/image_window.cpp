#include "image/image_window.h"

#include "image/image_progress.h"
#include "shell/lang.h"
#include "shell/output_folder.h"
#include "skin/image_button.h"
#include "skin/message_box.h"
#include "skin/skin_util.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

// The list stays usable during a run: a row unchecked in time is passed by. Closing stops a
// run without asking: the picture in work is finished.
const PageLayout kLayout = [] {
    PageLayout l = LayoutOf<ImageWindow>({"IDS_SUPPORT_IMAGE_FILES", "IDS_SUPPORT_IFORMAT_STR", "pictureList", "image"},
                                         true, false);
    l.noFileStyle = MB_OK;
    return l;
}();

} // namespace

ImageWindow::ImageWindow(QWidget *parent, Kind kind)
    : ConverterPage(kLayout, parent, kind)
    , m_settings(ImageSettings::Load(T("IDS_APP_NAME")))
    , m_boxes(ImageBoxes::FromLang())
    , m_optionsDialog([](QWidget *owner, ImageOptionValues &values) { return ImageOptionsDlg::Edit(values, owner); })
    , m_run(std::make_unique<ImageRun>())
{
    Button(kFolderLabelId)->SetFontStyle(false);
    Add(MakeSkinLabel(Client(), kCurrentLabelId, QRect(42, 339, 140, 16)));
    Add(MakeSkinLabel(Client(), kTimeLabelId, QRect(190, 339, 290, 16)));
    Add(MakeSkinLabel(Client(), kTotalLabelId, QRect(42, 379, 250, 16)));
    Add(MakeSkinLabel(Client(), kTimeLeftLabelId, QRect(300, 379, 180, 16)));
    auto slot = [this](int id, const char *title, const QString &widest, int x) {
        return LabelSlot{Button(id), T(title) + widest, x};
    };
    PlaceLabelLine({slot(kCurrentLabelId, "IDS_CURRENT_TITLE", CurrentProgressText(100), 42),
                    slot(kTimeLabelId, "IDS_TIME_TITLE", IdleElapsedText(), 190)});
    PlaceLabelLine({slot(kTotalLabelId, "IDS_TOTAL_TITLE", TotalProgressText(999, 999), 42),
                    slot(kTimeLeftLabelId, "IDS_TIME_LEFT_TITLE", IdleElapsedText(), 300)});
    ShowLabels(IdleCurrentText(), IdleElapsedText(), IdleTotalText());
    ShowFolderLabel(OutputFolder().Text());
    ConnectRun(*m_run);
}

void ImageWindow::FillRequest(RunRequest &request) const
{
    request.box = ChosenBox();
    request.rotateSteps = m_settings.RotateSteps();
}

// --- the run's figures in words ------------------------------------------------------------

void ImageWindow::ShowTimeLeft(int seconds)
{
    Button(kTimeLeftLabelId)
        ->SetWindowTextW(T("IDS_TIME_LEFT_TITLE") + (seconds < 0 ? QStringLiteral(" —") : ElapsedText(seconds)));
}

void ImageWindow::ShowLabels(const QString &current, const QString &time, const QString &total)
{
    ShowTimeLeft(-1);
    Button(kCurrentLabelId)->SetWindowTextW(T("IDS_CURRENT_TITLE") + current);
    Button(kTimeLabelId)->SetWindowTextW(T("IDS_TIME_TITLE") + time);
    Button(kTotalLabelId)->SetWindowTextW(T("IDS_TOTAL_TITLE") + total);
}

void ImageWindow::ShowProgressTexts(const RunProgress &p)
{
    // The current label says what its bar shows: nothing of a picture until it is done.
    Button(kCurrentLabelId)->SetWindowTextW(T("IDS_CURRENT_TITLE") + CurrentProgressText(p.currentPercent));
    Button(kTimeLabelId)->SetWindowTextW(T("IDS_TIME_TITLE") + ElapsedText(p.elapsedSeconds));
    Button(kTotalLabelId)->SetWindowTextW(T("IDS_TOTAL_TITLE") + TotalProgressText(p.filesEnded, p.totalFiles));
    ShowTimeLeft(p.batchSecondsLeft);
}

void ImageWindow::ShowMomentTexts(RunMoment moment)
{
    if (moment != RunMoment::Starting)
        return;
    ShowLabels(IdleCurrentText(), IdleElapsedText(), IdleTotalText());
    CurrentBar()->SetPosition(0);
    TotalBar()->SetPosition(0);
}

void ImageWindow::ShowRunEndTexts(const RunSummary &summary)
{
    if (summary.end == RunEnd::Finished)
        ShowTimeLeft(0);
    if (summary.end == RunEnd::Cancelled) {
        CurrentBar()->SetPosition(0);
        TotalBar()->SetPosition(0);
        ShowLabels(CancelledProgressText(), IdleElapsedText(), CancelledProgressText());
    }
}

// --- options -------------------------------------------------------------------------------

void ImageWindow::OnOptionCommand()
{
    if (RefusedWhileRunning("IDS_MESSAGEBOX_CONVERTING") || !m_optionsDialog)
        return;
    ImageOptionValues values{m_settings.saveFolder, m_settings.rotateImage, m_settings.rotateAngle};
    if (!m_optionsDialog(this, values))
        return;
    m_settings.saveFolder = ::OutputFolder(values.saveFolder).Text();
    m_settings.rotateImage = values.rotateImage;
    m_settings.rotateAngle = values.rotateAngle;
    m_settings.Store(T("IDS_APP_NAME"));
    ShowFolderLabel(m_settings.saveFolder);
}
