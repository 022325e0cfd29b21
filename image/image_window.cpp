#include "image/image_window.h"

#include "image/image_progress.h"
#include "shell/lang.h"
#include "shell/output_folder.h"
#include "skin/image_button.h"
#include "skin/message_box.h"
#include "skin/skin_util.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QItemSelectionModel>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

// The list stays usable during a run: a row unchecked in time is passed by.
const PageLayout kLayout =
    LayoutOf<ImageWindow>({"IDS_SUPPORT_IMAGE_FILES", "IDS_SUPPORT_IFORMAT_STR", "pictureList", "image"}, true, false);

} // namespace

ImageWindow::ImageWindow(QWidget *parent, Kind kind)
    : ConverterPage(kLayout, parent, kind)
    , m_settings(ImageSettings::Load(T("IDS_APP_NAME")))
    , m_boxes(ImageBoxes::FromLang())
    , m_optionsDialog([](QWidget *owner, ImageOptionValues &values) { return ImageOptionsDlg::Edit(values, owner); })
    , m_run(std::make_unique<ImageRunController>())
{
    Button(kFolderLabelId)->SetFontStyle(false);
    Add(MakeSkinLabel(Client(), kCurrentLabelId, QRect(42, 339, 140, 16)));
    Add(MakeSkinLabel(Client(), kTimeLabelId, QRect(190, 339, 290, 16)));
    Add(MakeSkinLabel(Client(), kTotalLabelId, QRect(42, 379, 250, 16)));
    Add(MakeSkinLabel(Client(), kTimeLeftLabelId, QRect(300, 379, 180, 16)));
    ShowLabels(IdleCurrentText(), IdleElapsedText(), IdleTotalText());
    ShowFolderLabel(m_settings.saveFolder);
    ConnectRun();
}

ImageWindow::~ImageWindow()
{
    // The run's end is taken here, while the controls it touches still exist; whoever hosts
    // the page may be going too, so it hears nothing of it.
    blockSignals(true);
    StopAndWait();
    m_run.reset();
}

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

void ImageWindow::ConnectRun()
{
    // The controller lives on this thread and re-emits what its worker reported through
    // queued connections, so these run on the window thread.
    ImageRunController *run = m_run.get();
    connect(run, &ImageRunController::progressChanged, this, [this](int percent, int done, int total) {
        // The current label reads 100% from the first report on; its bar tells the picture.
        Button(kCurrentLabelId)->SetWindowTextW(T("IDS_CURRENT_TITLE") + CurrentProgressText(100));
        Button(kTotalLabelId)->SetWindowTextW(T("IDS_TOTAL_TITLE") + TotalProgressText(done, total));
        TotalBar()->SetPosition(percent);
    });
    connect(run, &ImageRunController::fileStarted, this, [this](int row, const QString &outputPath) {
        if (row < List().RowCount()) {
            List().selectionModel()->setCurrentIndex(List().model()->index(row, 0), QItemSelectionModel::NoUpdate);
            List().EnsureRowVisible(row);
        }
        CurrentBar()->SetPosition(0);
        ShowFolderLabel(outputPath);
        Rows().ShowRowStatus(row, RowStatus::Converting);
    });
    connect(run, &ImageRunController::fileEnded, this, [this](const FileEnd &end) {
        CurrentBar()->SetPosition(100);
        Rows().ShowFileEnd(end);
    });
    connect(run, &ImageRunController::elapsedChanged, this,
            [this](int seconds) { Button(kTimeLabelId)->SetWindowTextW(T("IDS_TIME_TITLE") + ElapsedText(seconds)); });
    connect(run, &ImageRunController::timeLeftChanged, this, &ImageWindow::ShowTimeLeft);
    connect(run, &ImageRunController::runEnded, this, &ImageWindow::OnRunEnded);
    // Rows may be unchecked while the worker has not reached them yet.
    connect(&List(), &FileListCtrl::checksChanged, this, [this] {
        if (!IsConverting())
            return;
        for (int row = 0; row < List().RowCount(); ++row)
            m_run->SetRowChecked(row, List().IsChecked(row));
    });
}

// --- commands ------------------------------------------------------------------------------

void ImageWindow::OnOptionCommand()
{
    if (IsConverting() || !m_optionsDialog)
        return;
    ImageOptionValues values{m_settings.saveFolder, m_settings.rotateImage, m_settings.rotateAngle};
    if (!m_optionsDialog(this, values))
        return;
    m_settings.saveFolder = OutputFolder(values.saveFolder).Text();
    m_settings.rotateImage = values.rotateImage;
    m_settings.rotateAngle = values.rotateAngle;
    m_settings.Store(T("IDS_APP_NAME"));
    ShowFolderLabel(m_settings.saveFolder);
}

void ImageWindow::OnConvertCommand()
{
    if (IsConverting())
        return;
    ImageBatch batch;
    for (int row : Rows().CheckedRows()) {
        const QString path = List().RowPath(row);
        QString name = List().ItemText(row, 0);
        batch.items.append({row, path, name.isEmpty() ? QFileInfo(path).fileName() : name});
    }
    batch.box = ChosenBox();
    batch.rotateSteps = m_settings.RotateSteps();
    batch.outputFolder = m_settings.saveFolder;
    if (batch.items.isEmpty()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_NO_FILE"), MB_OK);
        return;
    }

    Rows().ShowAllWaiting();
    ShowRunLook(RunLook::Running);
    ShowLabels(IdleCurrentText(), IdleElapsedText(), IdleTotalText());
    CurrentBar()->SetPosition(0);
    TotalBar()->SetPosition(0);
    SetBusy(true);
    if (m_run->Start(batch) != ImageRunController::StartResult::Started) {
        ShowRunLook(RunLook::Idle);
        SetBusy(false);
        return;
    }
    emit convertingChanged(true);
}

void ImageWindow::OnCancelCommand()
{
    if (!IsConverting())
        return;
    if (!AskToStopRun("IDS_MESSAGEBOX_CANCEL"))
        return;
    // The run may have ended while the question was open; Cancel then does nothing.
    m_run->Cancel();
}

void ImageWindow::OnPauseCommand()
{
    if (!IsConverting())
        return;
    m_run->Pause();
    ShowRunLook(RunLook::Paused);
}

void ImageWindow::OnResumeCommand()
{
    m_run->Resume();
    ShowRunLook(IsConverting() ? RunLook::Running : RunLook::Idle);
}

void ImageWindow::StopAndWait()
{
    if (!IsConverting())
        return;
    m_run->StopAndWait();
    // The worker's last reports are queued on the controller; take them now, so that the
    // run is over when this returns.
    QCoreApplication::sendPostedEvents(m_run.get(), QEvent::MetaCall);
}

void ImageWindow::OnRunEnded(const RunSummary &summary)
{
    ShowRunLook(RunLook::Idle);
    SetBusy(false);
    ShowFolderLabel(m_settings.saveFolder);
    emit convertingChanged(false);
    if (summary.end == RunEnd::Finished)
        ShowTimeLeft(0);
    if (summary.end == RunEnd::Cancelled) {
        CurrentBar()->SetPosition(0);
        TotalBar()->SetPosition(0);
        ShowLabels(CancelledProgressText(), IdleElapsedText(), CancelledProgressText());
    }
    // The application is closing when the run was stopped: no message, nothing moved.
    FinishRun(summary);
}
