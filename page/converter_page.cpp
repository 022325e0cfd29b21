#include "page/converter_page.h"

#include "page/end_message.h"
#include "platform/desktop_notification.h"
#include "platform/shell_open.h"
#include "platform/shutdown.h"
#include "run/end_actions.h"
#include "run/state_folder.h"
#include "shell/app_paths.h"
#include "shell/file_intake.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/message_box.h"
#include "skin/skin_util.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>

#include <utility>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

} // namespace

ConverterPage::ConverterPage(const PageLayout &layout, QWidget *parent, Kind kind)
    : SkinDialog(parent, kind)
    , m_layout(layout)
    , m_list(new FileListCtrl)
    , m_rows(*m_list, layout.extensionsKey, layout.formatTitleKey)
{
    setWindowTitle(T("IDS_APP_HAN_NAME"));
    setWindowIcon(QIcon(GetResFilePath(QStringLiteral("framepress.png"))));
    SetFontName(T("IDS_GOPT_DEFAULT_FONT"), Lang::GetInt(QStringLiteral("IDS_GOPT_DEFAULT_FONTSIZE")));
    SetBackgroundColor(ColorFromRef(kPageBackground));
    if (kind == Kind::Window)
        SetCaptionImage(QStringLiteral("Comm_Caption.png"), QStringLiteral("Laun_close.png"),
                        QStringLiteral("Comm_max.png"), QStringLiteral("Laun_mini.png"), QString());
    SetClientSize(kClientWidth, layout.clientHeight);

    m_listPanel = QPixmap(GetResFilePath(QStringLiteral("convertor_list.bmp")));
    m_infoPanel = QPixmap(GetResFilePath(QStringLiteral("convertor_info.bmp")));
    QWidget *client = Client();
    const PageLayout &l = m_layout;

    // Convert, Pause and Resume share one place; one of them shows at a time.
    ImageButton *convert = Add(
        MakeSkinButton(client, l.convertId, QStringLiteral("bt_convert.png"), T("IDS_BTN_MAIN_CONVERT"), {506, 345}));
    ImageButton *cancel =
        Add(MakeSkinButton(client, l.cancelId, QStringLiteral("bt_cancel.png"), T("IDS_BTN_MAIN_CANCEL"), {580, 345}));
    ImageButton *pause =
        Add(MakeSkinButton(client, l.pauseId, QStringLiteral("bt_pause.png"), T("IDS_BTN_MAIN_PAUSE"), {506, 345}));
    ImageButton *resume =
        Add(MakeSkinButton(client, l.resumeId, QStringLiteral("bt_resume.png"), T("IDS_BTN_MAIN_RESUME"), {506, 345}));
    StyleBigButtons({convert, cancel, pause, resume});

    ImageButton *add =
        Add(MakeSkinButton(client, l.addId, QStringLiteral("menu01_add.png"), T("IDS_BTN_MAIN_ADDFILE"), {14, 6}));
    ImageButton *del =
        Add(MakeSkinButton(client, l.deleteId, QStringLiteral("menu02_del.png"), T("IDS_BTN_MAIN_DELFILE"), {149, 6}));
    ImageButton *option = Add(
        MakeSkinButton(client, l.optionId, QStringLiteral("menu03_option.png"), T("IDS_BTN_MAIN_OPTION"), {284, 6}));
    StyleMenuButtons({add, del, option});

    Add(MakeSkinRadio(client, l.hdId, T("IDS_RD_HD"), {485, 6}))->SetCheck(true);
    Add(MakeSkinRadio(client, l.sdId, T("IDS_RD_SD"), {585, 6}))->SetCheck(false);
    ImageButton *deleteBox =
        Add(MakeSkinCheckBox(client, l.deleteSourcesId, T("IDS_BTN_MAIN_ORIFILEDEL"), QRect(39, 232, 250, 14)));
    ImageButton *shutDownBox =
        Add(MakeSkinCheckBox(client, l.shutDownId, T("IDS_BTN_MAIN_SYSTEMOFF"), QRect(290, 232, 390, 14)));
    FitOptionBoxes(deleteBox, shutDownBox, kClientWidth);

    Add(MakeSkinLabel(client, l.folderLabelId, QRect(40, 302, 580, 18)));
    ImageButton *openFolder =
        Add(MakeSkinButton(client, l.openFolderId, QStringLiteral("bt_folder_open.png"), QString(), {628, 299}));

    m_currentBar = new ProgressBarCtrl(client);
    m_totalBar = new ProgressBarCtrl(client);
    m_currentBar->SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillCurrentId);
    m_totalBar->SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillTotalId);
    for (ProgressBarCtrl *bar : {m_currentBar, m_totalBar}) {
        bar->SetBackgroundColor(0xFFFFFF);
        bar->SetRange(0, 100);
        bar->SetPosition(0);
    }
    m_currentBar->setGeometry(40, 356, 440, 10);
    m_totalBar->setGeometry(40, 396, 440, 10);

    m_list->setParent(client);
    m_list->setObjectName(l.listName);
    m_rows.Configure();
    m_list->setGeometry(28, 77, 640, 140);
    m_list->show();
    // The unfinished rows of the last start come back; from here on every change is kept.
    m_keeper = std::make_unique<ListKeeper>(m_rows, layout.keptListName);
    m_keeper->Restore();

    connect(convert, &QAbstractButton::clicked, this, &ConverterPage::OnConvertCommand);
    connect(cancel, &QAbstractButton::clicked, this, &ConverterPage::OnCancelCommand);
    connect(pause, &QAbstractButton::clicked, this, &ConverterPage::OnPauseCommand);
    connect(resume, &QAbstractButton::clicked, this, &ConverterPage::OnResumeCommand);
    connect(add, &QAbstractButton::clicked, this, &ConverterPage::OnAddCommand);
    connect(del, &QAbstractButton::clicked, this, &ConverterPage::OnDeleteCommand);
    connect(option, &QAbstractButton::clicked, this, &ConverterPage::OnOptionCommand);
    connect(openFolder, &QAbstractButton::clicked, this, &ConverterPage::OnOpenFolderCommand);
    connect(m_list, &FileListCtrl::filesDropped, this, &ConverterPage::OnFilesDropped);

    ShowRunLook(RunLook::Idle);
    SetBusy(false);

    m_notifier = new platform::DesktopNotifier(this);
    m_notifier->SetIcon(GetResFilePath(QStringLiteral("framepress.png")));
    m_notifier->SetDesktopEntry(QGuiApplication::desktopFileName());
    connect(m_notifier, &platform::DesktopNotifier::activated, this, [this] {
        QWidget *top = window();
        if (top->isMinimized())
            top->showNormal();
        top->show();
        top->raise();
        top->activateWindow();
    });
}

void ConverterPage::ConnectRun(Run &run)
{
    Q_ASSERT(!m_pageRun);
    m_pageRun = &run;
    connect(&run, &Run::stateChanged, this, &ConverterPage::OnRunStateChanged);
    connect(&run, &Run::fileStarted, this, &ConverterPage::OnFileStarted);
    connect(&run, &Run::fileEnded, this, &ConverterPage::OnFileEnded);
    connect(&run, &Run::progressChanged, this, &ConverterPage::OnProgress);
    connect(&run, &Run::runEnded, this, &ConverterPage::OnRunEnded);
    // Where the list stays usable, a row unchecked before its turn leaves the run.
    connect(&m_rows.Model(), &JobListModel::checksChanged, this, [this] {
        if (!IsRunActive())
            return;
        const JobListModel &model = m_rows.Model();
        for (int row = 0; row < model.RowCount(); ++row)
            m_pageRun->SetJobWanted(model.At(row).id, model.At(row).checked);
    });
}

ImageButton *ConverterPage::Add(ImageButton *button)
{
    m_buttons << button;
    return button;
}

ImageButton *ConverterPage::Button(int id) const
{
    for (ImageButton *button : m_buttons) {
        if (button->Id() == id)
            return button;
    }
    return nullptr;
}

bool ConverterPage::IsHdChecked() const { return Button(m_layout.hdId)->GetCheck(); }

// --- the look of a run ---------------------------------------------------------------------

void ConverterPage::ShowRunLook(RunLook look)
{
    ImageButton *convert = Button(m_layout.convertId);
    ImageButton *cancel = Button(m_layout.cancelId);
    convert->setVisible(look == RunLook::Idle);
    convert->setEnabled(look == RunLook::Idle);
    Button(m_layout.pauseId)->setVisible(look == RunLook::Running);
    Button(m_layout.resumeId)->setVisible(look == RunLook::Paused);
    cancel->SetState(look == RunLook::Idle ? ImageButton::StateSelected : ImageButton::StateNormal);
    cancel->setEnabled(look != RunLook::Idle);
}

void ConverterPage::SetBusy(bool busy)
{
    const int state = busy ? ImageButton::StateSelected : ImageButton::StateNormal;
    for (int id : {m_layout.addId, m_layout.deleteId, m_layout.optionId})
        Button(id)->SetState(state);
    setAcceptDrops(!busy);
    m_list->SetAcceptFileDrops(!busy);
    // A run's rows keep the order it took them in.
    m_list->SetDragAllowed(!busy);
    m_rows.Model().LockOrder(busy);
    if (!m_layout.listLiveWhileBusy)
        m_list->setEnabled(!busy);
    Button(m_layout.hdId)->setEnabled(!busy);
    Button(m_layout.sdId)->setEnabled(!busy);
}

void ConverterPage::ShowFolderLabel(const QString &text) { Button(m_layout.folderLabelId)->SetWindowTextW(text); }

// --- the run onto the controls ---------------------------------------------------------------

void ConverterPage::OnRunStateChanged(Run::State state)
{
    switch (state) {
    case Run::State::Starting:
        // Pause and Cancel show while a file waits to be converted (a movie for its engine).
        SetBusy(true);
        ShowRunLook(RunLook::Running);
        break;
    case Run::State::Converting:
        m_rows.Model().SetStatus(m_idInWork, RowStatus::Converting);
        SetBusy(true);
        ShowRunLook(RunLook::Running);
        break;
    case Run::State::Paused:
        ShowRunLook(RunLook::Paused);
        ShowMomentTexts(RunMoment::Paused);
        break;
    case Run::State::Stopping: SetBusy(true); break;
    case Run::State::Idle:
    case Run::State::Ended:
        ShowRunLook(RunLook::Idle);
        SetBusy(false);
        ShowFolderLabel(OutputFolder().Text());
        break;
    }
    if (m_reportedActive != IsRunActive()) {
        m_reportedActive = IsRunActive();
        emit runActiveChanged(m_reportedActive);
    }
}

void ConverterPage::OnFileStarted(int id, const QString &outputPath)
{
    m_idInWork = id;
    const int row = m_rows.Model().RowOf(id);
    // A list that stays usable follows the run with its current row; a locked one shows no
    // selection on the row in work.
    if (m_layout.listLiveWhileBusy && row >= 0)
        m_list->selectionModel()->setCurrentIndex(m_list->model()->index(row, 0), QItemSelectionModel::NoUpdate);
    else
        m_list->ClearRowSelection(row);
    m_list->EnsureRowVisible(row);
    ShowFolderLabel(outputPath);
    // The row says converting once the run converts it: a movie waits for its engine first.
    if (m_pageRun->CurrentState() != Run::State::Starting)
        m_rows.Model().SetStatus(id, RowStatus::Converting);
    ShowMomentTexts(RunMoment::FileStarted);
}

void ConverterPage::OnFileEnded(const FileEnd &end)
{
    if (end.id == m_idInWork)
        m_idInWork = kNoRowId;
    Rows().ShowFileEnd(end);
    if (end.outcome == Outcome::Done || end.outcome == Outcome::Failed) {
        CurrentBar()->SetPosition(100);
        ShowMomentTexts(RunMoment::FileEnded);
    }
}

void ConverterPage::OnProgress(const RunProgress &progress)
{
    CurrentBar()->SetPosition(progress.currentPercent);
    TotalBar()->SetPosition(progress.totalPercent);
    ShowProgressTexts(progress);
}

void ConverterPage::OnRunEnded(const RunSummary &summary)
{
    m_idInWork = kNoRowId;
    ShowRunEndTexts(summary);
    if (summary.end == RunEnd::EngineMissing)
        XMessageBoxKey(QStringLiteral("IDS_ERR_ENGINE_CREATE_FAIL"), MB_OK, QStringLiteral("IDS_WORD_ERROR"));
    // The application is closing when the run was stopped: no message, nothing moved.
    FinishRun(summary);
    if (std::exchange(m_closeWhenEnded, false))
        accept();
}

bool ConverterPage::RefusedWhileRunning(const char *noticeKey)
{
    if (!IsRunActive())
        return false;
    if (m_layout.noticesWhileBusy)
        XMessageBoxKey(QString::fromLatin1(noticeKey), MB_ICONQUESTION);
    return true;
}

bool ConverterPage::AskToStopRun(const char *questionKey)
{
    m_stopQuestionOpen = true;
    const bool yes = XMessageBoxKey(QString::fromLatin1(questionKey), MB_YESNO | MB_ICONQUESTION) == IDYES;
    m_stopQuestionOpen = false;
    const std::optional<RunSummary> ended = std::exchange(m_heldEnd, std::nullopt);
    if (ended && !yes)
        FinishRun(*ended);
    return yes;
}

void ConverterPage::FinishRun(const RunSummary &ended)
{
    if (m_stopQuestionOpen) {
        m_heldEnd = ended;
        return;
    }
    RunSummary summary = ended;
    summary.choices.powerOff = Button(m_layout.shutDownId)->GetCheck();
    if (summary.end == RunEnd::Finished && !summary.choices.powerOff && !window()->isActiveWindow()) {
        m_notifier->Notify({T("IDS_MESSAGEBOX_CONVERT_END"), NotificationBody(summary)});
        // The summary waits for the user to come back rather than take the focus from the
        // window they work in; what follows it (the sources to the trash) waits with it.
        if (window()->isVisible()) {
            m_summaryWaiting = summary;
            window()->installEventFilter(this);
            return;
        }
    }
    ShowRunEnd(summary);
}

bool ConverterPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window() && event->type() == QEvent::WindowActivate && m_summaryWaiting) {
        window()->removeEventFilter(this);
        // Once the activation is through: the summary is a modal box of its own.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (std::optional<RunSummary> summary = std::exchange(m_summaryWaiting, std::nullopt))
                    ShowRunEnd(*summary);
            },
            Qt::QueuedConnection);
    }
    return SkinDialog::eventFilter(watched, event);
}

void ConverterPage::ShowRunEnd(RunSummary summary)
{
    if (DecideEndActions(summary).showEndMessage)
        ShowEndMessage(EndMessage(summary));
    summary.choices.deleteSources = Button(m_layout.deleteSourcesId)->GetCheck();
    const EndActions actions = DecideEndActions(summary);
    EndReport report;
    if (actions.trashSources) {
        const TrashReport trashed = TrashSources(summary.Files(Outcome::Done));
        m_rows.RemoveRowsOf(trashed.gone);
        report.kept = trashed.kept;
    }
    if (!actions.powerOff) {
        if (!report.kept.isEmpty())
            XSummaryBox(this, KeptSourcesMessage(report.kept), {});
        return;
    }
    // With the screen about to go, the notification is all the user is told, kept sources included.
    m_notifier->Notify({T("IDS_MESSAGEBOX_CONVERT_END"), NotificationBody(summary, report.kept)});
    // The list's last change would otherwise be written on the next turn of the event loop,
    // which a machine going down never takes.
    m_keeper->Flush();
    emit aboutToPowerOff();
    const platform::PowerOffAnswer answer = platform::PowerOff();
    if (answer.accepted)
        return;
    report.powerOffRefused = answer.refusal;
    ShowEndMessage(EndMessage(summary, report));
}

void ConverterPage::ShowEndMessage(const MessageBoxQuestion &message)
{
    XSummaryBox(this, message, [this](int action) {
        if (action == kOpenSaveFolder)
            platform::OpenFolder(OutputFolder().Text());
        else
            platform::OpenFolder(RunLogPath());
    });
}

// --- commands ------------------------------------------------------------------------------

void ConverterPage::OnAddCommand()
{
    // The disabled look alone would not stop a call made while busy.
    if (IsRunActive())
        return;
    m_rows.AddThroughDialog(this);
}

void ConverterPage::OnDeleteCommand()
{
    if (RefusedWhileRunning("IDS_MESSAGEBOX_CONVERTING") || m_rows.Model().RowCount() == 0)
        return;
    m_rows.DeleteCheckedRows();
}

void ConverterPage::OnOpenFolderCommand() { platform::OpenFolder(OutputFolder().Text()); }

void ConverterPage::OnFilesDropped(const QStringList &paths)
{
    if (RefusedWhileRunning("IDS_MESSAGEBOX_CONVERT_NO"))
        return;
    m_rows.AddFiles(paths);
}

void ConverterPage::OnConvertCommand()
{
    if (RefusedWhileRunning("IDS_MESSAGEBOX_CONVERT_INFO"))
        return;
    RunRequest request;
    for (int id : m_rows.Model().CheckedIds())
        request.jobs.append({id, m_rows.Model().Find(id)->path});
    if (request.jobs.isEmpty()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_NO_FILE"), m_layout.noFileStyle);
        return;
    }
    request.hd = IsHdChecked();
    request.outputFolder = OutputFolder();
    FillRequest(request);
    m_rows.ShowAllWaiting();
    ShowMomentTexts(RunMoment::Starting);
    m_pageRun->Start(request);
}

void ConverterPage::OnCancelCommand()
{
    if (!IsRunActive() || m_pageRun->CurrentState() == Run::State::Stopping)
        return;
    if (!AskToStopRun("IDS_MESSAGEBOX_CANCEL"))
        return;
    // The box let events through: the run may have ended while the question was open.
    m_pageRun->Cancel();
}

void ConverterPage::OnPauseCommand() { m_pageRun->Pause(); }

void ConverterPage::OnResumeCommand() { m_pageRun->Resume(); }

bool ConverterPage::ConfirmExit()
{
    if (!IsRunActive())
        return true;
    if (m_pageRun->CurrentState() != Run::State::Stopping && m_layout.closeQuestionKey
        && !AskToStopRun(m_layout.closeQuestionKey))
        return false;
    // The run may have ended while the question was open; what it finished stays finished.
    // One already stopping after a cancel ends as stopped too.
    m_pageRun->Stop();
    return true;
}

// --- events --------------------------------------------------------------------------------

void ConverterPage::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (m_closeWhenEnded || !ConfirmExit())
        return;
    if (IsRunActive()) {
        m_closeWhenEnded = true; // the run's end closes the page
        return;
    }
    event->accept();
    accept(); // the dialog ends with OK
}

void ConverterPage::PaintClient(QPainter &painter, const QRect &dirty)
{
    PaintPageBackground(painter, dirty, m_listPanel, m_infoPanel);
}

void ConverterPage::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        OnDeleteCommand();
        event->accept();
        return;
    }
    SkinDialog::keyPressEvent(event);
}

void ConverterPage::dragEnterEvent(QDragEnterEvent *event) { dragMoveEvent(event); }

void ConverterPage::dragMoveEvent(QDragMoveEvent *event)
{
    if (!IsRunActive() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ConverterPage::dropEvent(QDropEvent *event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty() || IsRunActive()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OnFilesDropped(paths);
}
