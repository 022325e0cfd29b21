#include "movie/movie_window.h"

#include "encode/settings_store.h"
#include "options/options_dlg.h"
#include "run/progress_text.h"
#include "skin/image_button.h"
#include "shell/lang.h"
#include "skin/message_box.h"
#include "shell/output_folder.h"
#include "skin/skin_util.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QCloseEvent>

#include <utility>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

enum Label { kCurrent, kSpeed, kTime, kTotal, kCount, kLeft };

// The list is locked during a run, and commands refused meanwhile say why.
const PageLayout kLayout =
    LayoutOf<MovieWindow>({"IDS_SUPPORT_FILES", "IDS_SUPPORT_VFORMAT_STR", "jobList", "movie"}, false, true);

} // namespace

MovieWindow::MovieWindow(QWidget *parent, Kind kind)
    : ConverterPage(kLayout, parent, kind)
    , m_optionsDialog([](QWidget *owner, QString &folder) { return OptionsDlg::Edit(folder, owner); })
    , m_run(std::make_unique<MovieRun>(m_engine))
{
    const std::pair<int, QRect> labels[] = {{kTitleId, {42, 337, 96, 16}},   {kSpeedId, {140, 337, 200, 16}},
                                            {kTitleId, {342, 337, 140, 16}}, {kTitleId, {42, 377, 78, 16}},
                                            {kCountId, {122, 377, 120, 16}}, {kTitleId, {250, 377, 240, 16}}};
    for (int i = 0; i < 6; ++i)
        m_labels[i] = MakeSkinLabel(Client(), labels[i].first, labels[i].second);

    SettingsStore(T("IDS_APP_NAME")).Initialise(m_settings, IsHdChecked());
    ShowFolderLabel(m_settings.options.SaveFolder);
    ResetProgress();
    ConnectRun();
}

void MovieWindow::ConnectRun()
{
    MovieRun *run = m_run.get();
    connect(run, &MovieRun::stateChanged, this, &MovieWindow::OnStateChanged);
    connect(run, &MovieRun::fileStarted, this, [this](int row, const QString &outputPath) {
        List().ClearRowSelection(row);
        List().EnsureRowVisible(row);
        ShowFolderLabel(outputPath);
        // Never the figures of a run before: which file this is shows at once.
        ShowLabel(kCount, QString::asprintf("( %2d / %2d )", m_run->FileNumber(), m_run->TotalFiles()));
        ShowLabel(kTime, ElapsedText(m_run->ElapsedSeconds()));
    });
    connect(run, &MovieRun::progressChanged, this, &MovieWindow::OnProgress);
    connect(run, &MovieRun::fileEnded, this, &MovieWindow::OnFileEnded);
    connect(run, &MovieRun::runEnded, this, &MovieWindow::OnRunEnded);
}

// --- the run onto the controls ---------------------------------------------------------------

void MovieWindow::OnStateChanged(MovieRun::State state)
{
    switch (state) {
    case MovieRun::State::Starting:
        // Pause and Cancel show while the file waits for its probe and its engine.
        SetBusy(true);
        ShowRunLook(RunLook::Running);
        break;
    case MovieRun::State::Stopping: SetBusy(true); break;
    case MovieRun::State::Converting:
        Rows().ShowRowStatus(m_run->CurrentRow(), RowStatus::Converting);
        SetBusy(true);
        ShowRunLook(RunLook::Running);
        break;
    case MovieRun::State::Paused:
        ShowRunLook(RunLook::Paused);
        ShowLabel(kSpeed, QStringLiteral(" x0.0"));
        break;
    case MovieRun::State::Idle:
    case MovieRun::State::Ended:
        ShowRunLook(RunLook::Idle);
        SetBusy(false);
        ShowFolderLabel(m_settings.options.SaveFolder);
        break;
    }
    if (m_reportedActive != m_run->IsActive()) {
        m_reportedActive = m_run->IsActive();
        emit runStateChanged(m_reportedActive);
    }
}

void MovieWindow::OnProgress(const MovieProgress &p)
{
    CurrentBar()->SetPosition(p.currentPercent);
    TotalBar()->SetPosition(p.totalPercent);
    ShowLabel(kCurrent, QString::asprintf(" %3d%%", p.currentPercent));
    ShowLabel(kSpeed, QString::asprintf(" x%.2f", double(p.speedFactor)));
    ShowLabel(kTime, ElapsedText(p.elapsedSeconds));
    ShowLabel(kTotal, QString::asprintf(" %3d%%", p.totalPercent));
    ShowLabel(kCount, QString::asprintf("( %2d / %2d )", p.fileNumber, p.totalFiles));
    ShowLabel(kLeft, TimeLeftText(p.fileSecondsLeft, p.batchSecondsLeft));
}

void MovieWindow::OnFileEnded(const FileEnd &end)
{
    Rows().ShowFileEnd(end);
    if (end.outcome == Outcome::Done || end.outcome == Outcome::Failed) {
        CurrentBar()->SetPosition(100);
        ShowLabel(kCurrent, QStringLiteral(" 100%"));
    }
}

void MovieWindow::OnRunEnded(const RunSummary &summary)
{
    if (summary.end == RunEnd::Finished) {
        TotalBar()->SetPosition(100);
        ShowLabel(kTotal, QStringLiteral(" 100%"));
        ShowLabel(kSpeed, QStringLiteral(" x0.0"));
        ShowLabel(kLeft, TimeLeftText(0, 0));
    } else if (summary.end != RunEnd::Stopped) {
        ResetProgress();
    }
    if (summary.end == RunEnd::EngineMissing)
        XMessageBoxKey(QStringLiteral("IDS_ERR_ENGINE_CREATE_FAIL"), MB_OK, QStringLiteral("IDS_WORD_ERROR"));
    FinishRun(summary);
    if (std::exchange(m_closeWhenEnded, false))
        accept();
}

void MovieWindow::ResetProgress()
{
    CurrentBar()->SetPosition(0);
    TotalBar()->SetPosition(0);
    for (auto [label, text] : {std::pair{kCurrent, " 0%"}, {kSpeed, " x0.0"}, {kTotal, " 0%"}, {kCount, "( 0 / 0 )"}})
        ShowLabel(label, QString::fromLatin1(text));
    ShowLabel(kTime, ElapsedText(0));
    ShowLabel(kLeft, TimeLeftText(-1, -1));
}

void MovieWindow::ShowLabel(int label, const QString &value)
{
    static const char *const titles[] = {"IDS_CURRENT_TITLE", "IDS_STR_SPEED", "IDS_TIME_TITLE",
                                         "IDS_TOTAL_TITLE",   nullptr,         "IDS_TIME_LEFT_TITLE"};
    m_labels[label]->SetWindowTextW((titles[label] ? T(titles[label]) : QString()) + value);
}

// --- commands ------------------------------------------------------------------------------

void MovieWindow::OnConvertCommand()
{
    if (m_run->IsActive()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVERT_INFO"), MB_ICONQUESTION);
        return;
    }
    MovieRunRequest request;
    for (int row : Rows().CheckedRows())
        request.jobs.append({row, List().RowPath(row), std::nullopt});
    if (request.jobs.isEmpty()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_NO_FILE"), MB_ICONQUESTION);
        return;
    }
    request.hdMode = IsHdChecked();
    request.encode = m_settings.encode;
    request.saveFolder = m_settings.options.SaveFolder;
    Rows().ShowAllWaiting();
    m_run->Start(request);
}

void MovieWindow::OnCancelCommand()
{
    if (!m_run->IsActive() || m_run->CurrentState() == MovieRun::State::Stopping)
        return;
    if (!AskToStopRun("IDS_MESSAGEBOX_CANCEL"))
        return;
    // The box let events through: the run may have ended while the question was open.
    m_run->Cancel();
}

void MovieWindow::OnOptionCommand()
{
    if (RefusedWhileRunning("IDS_MESSAGEBOX_CONVERTING") || !m_optionsDialog)
        return;
    QString folder = m_settings.options.SaveFolder;
    if (m_optionsDialog(this, folder))
        SetSaveFolder(folder);
}

void MovieWindow::SetSaveFolder(const QString &folder)
{
    const QString path = OutputFolder(folder).Text();
    m_settings.options.SaveFolder = path;
    SettingsStore(T("IDS_APP_NAME")).Save(m_settings);
    if (!m_run->IsActive())
        ShowFolderLabel(path);
}

bool MovieWindow::ConfirmExit()
{
    if (!m_run->IsActive() || m_run->CurrentState() == MovieRun::State::Stopping)
        return true;
    if (!AskToStopRun("IDS_MESSAGEBOX_CONVET_EXIT"))
        return false;
    // The run may have ended while the question was open; what it finished stays finished.
    m_run->Stop();
    return true;
}

void MovieWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (m_closeWhenEnded || !ConfirmExit())
        return;
    if (m_run->IsActive()) {
        m_closeWhenEnded = true; // the run's end closes the page
        return;
    }
    event->accept();
    accept(); // the dialog ends with OK
}
