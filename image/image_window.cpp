#include "image/image_window.h"

#include "image/image_progress.h"
#include "platform/shell_open.h"
#include "platform/shutdown.h"
#include "shell/app_paths.h"
#include "shell/image_button.h"
#include "shell/lang.h"
#include "shell/message_box.h"
#include "shell/skin_util.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

} // namespace

ImageWindow::ImageWindow(QWidget *parent, Kind kind)
    : SkinDialog(parent, kind)
    , m_settings(ImageSettings::Load(T("IDS_APP_NAME")))
    , m_boxes(ImageBoxes::FromLang())
    , m_list(new FileListCtrl)
    , m_pictures(*m_list)
    , m_optionsDialog([](QWidget *owner, ImageOptionValues &values) { return ImageOptionsDlg::Edit(values, owner); })
    , m_run(std::make_unique<ImageRunController>())
{
    setWindowTitle(T("IDS_APP_HAN_NAME"));
    SetFontName(T("IDS_GOPT_DEFAULT_FONT"), Lang::GetInt(QStringLiteral("IDS_GOPT_DEFAULT_FONTSIZE")));
    SetBackgroundColor(ColorFromRef(kPageBackground));
    if (kind == Kind::Window)
        SetCaptionImage(QStringLiteral("Comm_Caption.png"), QStringLiteral("Laun_close.png"),
                        QStringLiteral("Comm_max.png"), QStringLiteral("Laun_mini.png"), QString());
    SetClientSize(kClientWidth, kClientHeight);
    CreateControls();
    ConnectRun();

    Button(kCancelId)->SetState(ImageButton::StateSelected);
    Button(kCancelId)->setEnabled(false);
    ShowIdleProgress();
    ShowFolder();
    SetIntakeEnabled(true);
}

ImageWindow::~ImageWindow()
{
    // The run's end is taken here, while the controls it touches still exist; whoever hosts
    // the page may be going too, so it hears nothing of it.
    blockSignals(true);
    StopAndWait();
    m_run.reset();
}

ImageButton *ImageWindow::Button(int id) const
{
    for (ImageButton *button : m_buttons) {
        if (button->Id() == id)
            return button;
    }
    return nullptr;
}

QSize ImageWindow::ChosenBox() const
{
    return m_boxes.Chosen(Button(kHdId)->GetCheck());
}

ImageButton *ImageWindow::MakeButton(int id, const QString &image, const QString &text, QPoint at)
{
    ImageButton *button = MakeSkinButton(Client(), id, image, text, at);
    m_buttons << button;
    return button;
}

ImageButton *ImageWindow::MakeLabel(int id, const QRect &rect)
{
    ImageButton *label = MakeSkinLabel(Client(), id, rect);
    m_buttons << label;
    return label;
}

void ImageWindow::CreateControls()
{
    m_listPanel = QPixmap(GetResFilePath(QStringLiteral("convertor_list.bmp")));
    m_infoPanel = QPixmap(GetResFilePath(QStringLiteral("convertor_info.bmp")));

    // Convert, Pause and Resume share one place; one of them shows at a time.
    ImageButton *convert = MakeButton(kConvertId, QStringLiteral("bt_convert.png"), T("IDS_BTN_MAIN_CONVERT"), {506, 345});
    ImageButton *cancel = MakeButton(kCancelId, QStringLiteral("bt_cancel.png"), T("IDS_BTN_MAIN_CANCEL"), {580, 345});
    ImageButton *pause = MakeButton(kPauseId, QStringLiteral("bt_pause.png"), T("IDS_BTN_MAIN_PAUSE"), {506, 345});
    ImageButton *resume = MakeButton(kResumeId, QStringLiteral("bt_resume.png"), T("IDS_BTN_MAIN_RESUME"), {506, 345});
    StyleBigButtons({convert, cancel, pause, resume});
    pause->hide();
    resume->hide();

    ImageButton *add = MakeButton(kAddId, QStringLiteral("menu01_add.png"), T("IDS_BTN_MAIN_ADDFILE"), {14, 6});
    ImageButton *del = MakeButton(kDeleteId, QStringLiteral("menu02_del.png"), T("IDS_BTN_MAIN_DELFILE"), {149, 6});
    ImageButton *option = MakeButton(kOptionId, QStringLiteral("menu03_option.png"), T("IDS_BTN_MAIN_OPTION"), {284, 6});
    StyleMenuButtons({add, del, option});

    for (auto [id, key, at] : {std::tuple{int(kHdId), "IDS_RD_HD", QPoint(485, 6)},
                               std::tuple{int(kSdId), "IDS_RD_SD", QPoint(585, 6)}})
        m_buttons << MakeSkinRadio(Client(), id, T(key), at);
    Button(kHdId)->SetCheck(true);

    for (auto [id, key, rect] : {std::tuple{int(kDeleteSourcesId), "IDS_BTN_MAIN_ORIFILEDEL", QRect(39, 232, 250, 14)},
                                 std::tuple{int(kShutDownId), "IDS_BTN_MAIN_SYSTEMOFF", QRect(290, 232, 390, 14)}})
        m_buttons << MakeSkinCheckBox(Client(), id, T(key), rect);
    FitOptionBoxes(Button(kDeleteSourcesId), Button(kShutDownId), kClientWidth);

    MakeLabel(kFolderLabelId, QRect(40, 302, 580, 18))->SetFontStyle(false);
    MakeButton(kOpenFolderId, QStringLiteral("bt_folder_open.png"), QString(), {628, 299});

    m_currentBar = new ProgressBarCtrl(Client());
    m_totalBar = new ProgressBarCtrl(Client());
    m_currentBar->SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillCurrentId);
    m_totalBar->SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillTotalId);
    for (ProgressBarCtrl *bar : {m_currentBar, m_totalBar}) {
        bar->SetBackgroundColor(0xFFFFFF);
        bar->SetRange(0, 100);
        bar->SetPosition(0);
    }
    m_currentBar->setGeometry(40, 356, 440, 10);
    m_totalBar->setGeometry(40, 396, 440, 10);

    MakeLabel(kCurrentLabelId, QRect(42, 339, 140, 16));
    MakeLabel(kTimeLabelId, QRect(190, 339, 290, 16));
    MakeLabel(kTotalLabelId, QRect(42, 379, 438, 16));

    m_list->setParent(Client());
    m_list->setObjectName(QStringLiteral("pictureList"));
    m_pictures.Configure();
    m_list->setGeometry(28, 77, 640, 140);
    m_list->show();

    connect(convert, &QAbstractButton::clicked, this, &ImageWindow::OnConvertCommand);
    connect(cancel, &QAbstractButton::clicked, this, &ImageWindow::OnCancelCommand);
    connect(pause, &QAbstractButton::clicked, this, &ImageWindow::OnPauseCommand);
    connect(resume, &QAbstractButton::clicked, this, &ImageWindow::OnResumeCommand);
    connect(add, &QAbstractButton::clicked, this, &ImageWindow::OnAddCommand);
    connect(del, &QAbstractButton::clicked, this, &ImageWindow::OnDeleteCommand);
    connect(option, &QAbstractButton::clicked, this, &ImageWindow::OnOptionCommand);
    connect(Button(kOpenFolderId), &QAbstractButton::clicked, this, &ImageWindow::OnOpenFolderCommand);
    connect(m_list, &FileListCtrl::filesDropped, this, &ImageWindow::OnFilesDropped);
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
        m_totalBar->SetPosition(percent);
    });
    connect(run, &ImageRunController::fileStarted, this, [this](int row, const QString &outputPath) {
        if (row < m_list->RowCount()) {
            m_list->selectionModel()->setCurrentIndex(m_list->model()->index(row, 0), QItemSelectionModel::NoUpdate);
            m_list->EnsureRowVisible(row);
        }
        m_currentBar->SetPosition(0);
        Button(kFolderLabelId)->SetWindowTextW(outputPath);
        m_pictures.ShowRowStatus(row, RowStatus::Converting);
    });
    auto fileDone = [this](int row, RowStatus status) {
        m_currentBar->SetPosition(100);
        if (row < m_list->RowCount())
            m_list->SetChecked(row, false);
        m_pictures.ShowRowStatus(row, status);
    };
    connect(run, &ImageRunController::fileConverted, this,
            [fileDone](int row, const QString &) { fileDone(row, RowStatus::Complete); });
    connect(run, &ImageRunController::fileFailed, this,
            [fileDone](int row, ImageError) { fileDone(row, RowStatus::Failed); });
    connect(run, &ImageRunController::elapsedChanged, this, [this](int seconds) {
        Button(kTimeLabelId)->SetWindowTextW(T("IDS_TIME_TITLE") + ElapsedText(seconds));
    });
    connect(run, &ImageRunController::runCancelled, this, &ImageWindow::OnRunCancelled);
    connect(run, &ImageRunController::runFinished, this, &ImageWindow::OnRunFinished);
}

void ImageWindow::ShowIdleProgress()
{
    Button(kCurrentLabelId)->SetWindowTextW(T("IDS_CURRENT_TITLE") + IdleCurrentText());
    Button(kTimeLabelId)->SetWindowTextW(T("IDS_TIME_TITLE") + IdleElapsedText());
    Button(kTotalLabelId)->SetWindowTextW(T("IDS_TOTAL_TITLE") + IdleTotalText());
}

void ImageWindow::ShowFolder()
{
    Button(kFolderLabelId)->SetWindowTextW(m_settings.saveFolder);
}

void ImageWindow::SetIntakeEnabled(bool enabled)
{
    // Results carry the row numbers taken at the start, so rows neither come, go nor move
    // while a run is active.
    setAcceptDrops(enabled);
    m_list->SetAcceptFileDrops(enabled);
    m_list->SetDragAllowed(enabled);
    for (int id : {kAddId, kDeleteId, kOptionId})
        Button(id)->SetState(enabled ? ImageButton::StateNormal : ImageButton::StateSelected);
    Button(kHdId)->setEnabled(enabled);
    Button(kSdId)->setEnabled(enabled);
}

// --- commands ------------------------------------------------------------------------------

void ImageWindow::OnAddCommand()
{
    if (IsConverting())
        return;
    m_pictures.AddThroughDialog(this);
}

void ImageWindow::OnFilesDropped(const QStringList &paths)
{
    if (IsConverting())
        return;
    m_pictures.AddFiles(paths);
}

void ImageWindow::OnDeleteCommand()
{
    if (IsConverting() || m_list->RowCount() == 0)
        return;
    m_pictures.DeleteCheckedRows();
}

void ImageWindow::OnOptionCommand()
{
    if (IsConverting() || !m_optionsDialog)
        return;
    ImageOptionValues values{m_settings.saveFolder, m_settings.rotateImage, m_settings.rotateAngle};
    if (!m_optionsDialog(this, values))
        return;
    m_settings.saveFolder = FolderWithSlash(values.saveFolder);
    m_settings.rotateImage = values.rotateImage;
    m_settings.rotateAngle = values.rotateAngle;
    m_settings.Store(T("IDS_APP_NAME"));
    ShowFolder();
}

void ImageWindow::OnOpenFolderCommand()
{
    platform::OpenFolder(m_settings.saveFolder);
}

void ImageWindow::OnConvertCommand()
{
    if (IsConverting())
        return;
    ImageBatch batch;
    batch.items = m_pictures.CheckedItems();
    batch.box = ChosenBox();
    batch.rotateSteps = m_settings.RotateSteps();
    batch.outputFolder = m_settings.saveFolder;
    if (batch.items.isEmpty()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_NO_FILE"), MB_OK);
        return;
    }

    m_pictures.ShowAllWaiting();
    ImageButton *convert = Button(kConvertId);
    convert->hide();
    convert->setEnabled(false);
    Button(kPauseId)->show();
    Button(kCancelId)->SetState(ImageButton::StateNormal);
    Button(kCancelId)->setEnabled(true);
    ShowIdleProgress();
    m_currentBar->SetPosition(0);
    m_totalBar->SetPosition(0);
    SetIntakeEnabled(false);
    if (m_run->Start(batch) != ImageRunController::StartResult::Started) {
        EndRunCommon();
        return;
    }
    emit convertingChanged(true);
}

void ImageWindow::OnCancelCommand()
{
    if (!IsConverting())
        return;
    if (XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CANCEL"), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // The run may have ended while the question was open; Cancel then does nothing.
    m_run->Cancel();
}

void ImageWindow::OnPauseCommand()
{
    if (!IsConverting())
        return;
    m_run->Pause();
    Button(kPauseId)->hide();
    Button(kResumeId)->show();
}

void ImageWindow::OnResumeCommand()
{
    m_run->Resume();
    Button(kResumeId)->hide();
    if (IsConverting())
        Button(kPauseId)->show();
}

void ImageWindow::StopAndWait()
{
    if (!IsConverting())
        return;
    m_stopping = true;
    m_run->StopAndWait();
    // The worker's last reports are queued on the controller; take them now, so that the
    // run is over when this returns.
    QCoreApplication::sendPostedEvents(m_run.get(), QEvent::MetaCall);
    m_stopping = false;
}

// --- end of a run --------------------------------------------------------------------------

void ImageWindow::EndRunCommon()
{
    ImageButton *convert = Button(kConvertId);
    convert->setEnabled(true);
    convert->show();
    Button(kPauseId)->hide();
    Button(kResumeId)->hide();
    Button(kCancelId)->SetState(ImageButton::StateSelected);
    Button(kCancelId)->setEnabled(false);
    SetIntakeEnabled(true);
    ShowFolder();
    emit convertingChanged(false);
}

void ImageWindow::OnRunCancelled()
{
    EndRunCommon();
    m_currentBar->SetPosition(0);
    m_totalBar->SetPosition(0);
    Button(kCurrentLabelId)->SetWindowTextW(T("IDS_CURRENT_TITLE") + CancelledProgressText());
    Button(kTotalLabelId)->SetWindowTextW(T("IDS_TOTAL_TITLE") + CancelledProgressText());
    Button(kTimeLabelId)->SetWindowTextW(T("IDS_TIME_TITLE") + IdleElapsedText());
}

void ImageWindow::OnRunFinished(const ImageRunResult &result)
{
    EndRunCommon();
    if (m_stopping)
        return;   // the application is closing: no message, nothing moved, no power-off
    const bool powerOff = Button(kShutDownId)->GetCheck();
    if (!powerOff)
        XMessageBoxEx(this, T("IDS_MESSAGEBOX_CONVERT_END"), T("IDS_MESSAGEBOX_INFO"), MB_ICONINFORMATION);
    // Read after the message, which the user may answer after changing the box.
    const ImageEndActions actions = DecideEndActions(false, Button(kDeleteSourcesId)->GetCheck(), powerOff);
    if (actions.deleteSources)
        m_pictures.RemoveRowsOf(RemoveConvertedSources(result.converted));
    if (actions.powerOff)
        platform::PowerOff();
}

// --- events --------------------------------------------------------------------------------

void ImageWindow::PaintClient(QPainter &painter, const QRect &dirty)
{
    PaintPageBackground(painter, dirty, m_listPanel, m_infoPanel);
}

void ImageWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        // Rows stay while a run is active: the worker's results name them by number.
        if (!IsConverting())
            OnDeleteCommand();
        event->accept();
        return;
    }
    SkinDialog::keyPressEvent(event);
}

void ImageWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!IsConverting() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ImageWindow::dragMoveEvent(QDragMoveEvent *event)
{
    if (!IsConverting() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ImageWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty() || IsConverting()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OnFilesDropped(paths);
}
