#include "movie/conversion_driver.h"

#include "encode/job_preparation.h"
#include "movie/job_list.h"
#include "movie/output_naming.h"
#include "shell/image_button.h"
#include "shell/lang.h"
#include "shell/message_box.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <thread>

namespace {

// The engine's reports as they cross from the reader thread; the type numbers are the
// window messages the movie window has always handled them under.
const QEvent::Type kFailedEvent = QEvent::Type(QEvent::User + engine::kWmEngineFailed);
const QEvent::Type kFinishedEvent = QEvent::Type(QEvent::User + engine::kWmEngineFinished);

class EngineEvent : public QEvent {
public:
    EngineEvent(Type type, quint64 generation, int value)
        : QEvent(type), generation(generation), value(value)
    {
    }
    const quint64 generation;
    const int value;
};

} // namespace

ConversionDriver::ConversionDriver(const MovieControls &controls, JobList &jobs,
                                   engine::EngineProcess &engine, const MovieSettings &settings,
                                   QObject *parent)
    : QObject(parent)
    , m_c(controls)
    , m_jobs(jobs)
    , m_list(jobs.List())
    , m_engine(engine)
    , m_settings(settings)
    , m_scratchPath(QDir::tempPath() + QStringLiteral("/u2p.tmp"))
{
    m_engine.Attach(this, &m_statusCopy);
    m_timer.setInterval(m_timings.tickMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnProgressTimer(kProgressTimerId); });
}

ConversionDriver::~ConversionDriver()
{
    m_timer.stop();
    m_fileActive = false;
    if (m_engine.IsAlive() || m_engine.IsStarted()) {
        StopEngineAndWait();
        RemovePartialOutput();
    }
    m_engine.Cleanup();
    m_engine.Attach(nullptr, nullptr);
}

void ConversionDriver::SetTimings(const DriverTimings &timings)
{
    m_timings = timings;
    m_timer.setInterval(m_timings.tickMs);
}

QString ConversionDriver::Text(const char *key) const
{
    return Lang::Get(QString::fromLatin1(key));
}

// --- starting files ------------------------------------------------------------------------

void ConversionDriver::StartNextFile()
{
    if (m_engine.IsAlive()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVERT_INFO"), MB_ICONQUESTION);
        return;
    }
    if (m_list.CheckedCount() == 0) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_NO_FILE"), MB_ICONQUESTION);
        return;
    }
    if (!m_runStarted)
        BeginRun();

    // A row that cannot be started fails and the next one is tried, so that a run always
    // ends with a converting file or with EndRun, never half open.
    for (;;) {
        const int row = m_list.NextChecked(m_currentRow);
        if (row < 0) {
            EndRun();
            RunCompletionActions(false);
            return;
        }
        ++m_fileNumber;
        m_lastPosition = 0.0;
        m_prevPosition = 0.0f;
        m_speedFactor = 0.0f;
        m_currentRow = row;
        m_list.ClearRowSelection(row);
        m_list.EnsureRowVisible(row);
        if (StartFile(row))
            return;
        FailCurrentRow();
    }
}

void ConversionDriver::BeginRun()
{
    m_completed.clear();
    m_totalFiles = m_list.CheckedCount();
    m_runStarted = true;
    m_createErrorShown = false;
    m_currentRow = -1;
    m_fileNumber = 0;
    m_elapsedSeconds = 0;
    for (int row = 0; row < m_list.RowCount(); ++row)
        m_jobs.ShowRowStatus(row, int(RowStatus::Waiting));
    m_inhibit.Acquire(QStringLiteral("Converting movies"));
    emit runStateChanged(true);
}

bool ConversionDriver::StartFile(int row)
{
    const bool hdMode = m_c.hd->GetCheck();
    const EncodeSettings &encode = m_settings.encode;
    m_inputPath = m_list.RowPath(row);
    // A save folder removed since it was chosen would fail every file; make it again.
    if (QDir::isAbsolutePath(m_settings.options.SaveFolder))
        QDir().mkpath(m_settings.options.SaveFolder);
    m_outputPath = MakeOutputPath(m_settings.options.SaveFolder, m_inputPath,
                                  hdMode ? encode.HDFormat : encode.SDFormat);
    m_launchTime = QDateTime();
    const PreparedJob job = PrepareJob(encode, hdMode, m_inputPath, m_outputPath);

    m_c.folderLabel->SetWindowTextW(m_outputPath);
    SetControlsBusy(true);
    if (!job.ok())
        return false;

    // The previous engine's reader is gone once Cleanup returns; reports from it that are
    // still queued carry the old number.
    m_engine.Cleanup();
    ++m_generation;
    // A new file starts from nothing, not from the last report of the one before.
    m_statusCopy.Clear();
    m_fileActive = true;
    m_launchTime = QDateTime::currentDateTime();
    if (!m_engine.Launch(engine::ControlRecord{}, job.arguments.text) || !m_engine.Start()) {
        m_fileActive = false;
        StopEngineAndWait();
        RemovePartialOutput();
        return false;
    }

    m_jobs.ShowRowStatus(row, int(RowStatus::Converting));
    m_list.SetDragAllowed(false);
    m_c.pause->SetState(ImageButton::StateNormal);
    m_c.pause->show();
    m_c.convert->hide();
    m_c.resume->hide();   // a file that ended while paused leaves Resume up
    m_c.cancel->SetState(ImageButton::StateNormal);
    m_stallTicks = 0;
    m_graceCount = 0;
    m_timer.start(m_timings.tickMs);
    return true;
}

// --- progress ------------------------------------------------------------------------------

void ConversionDriver::OnProgressTimer(int timerId)
{
    if (timerId != kProgressTimerId || !m_fileActive)
        return;
    if (m_stallTicks > m_timings.stallLimit) {
        if (m_engine.IsAlive() && m_graceCount < m_timings.graceLimit) {
            ++m_graceCount;
            m_stallTicks = 0;
        } else {
            FailOnStall();
        }
        return;
    }
    if (IsPaused())
        return;
    const engine::EngineStatus status = m_statusCopy.Load();
    if (m_lastPosition == status.Position) {
        ++m_stallTicks;
    } else {
        m_stallTicks = 0;
        m_graceCount = 0;
    }
    UpdateProgressDisplay();
}

void ConversionDriver::UpdateProgressDisplay()
{
    const engine::EngineStatus status = m_statusCopy.Load();
    const float cur = float(status.Percent);
    const double pos = status.Position;

    m_lastPosition = pos;
    m_speedFactor = float(pos - double(m_prevPosition));
    if (m_speedFactor < 0.0f)
        m_speedFactor = 0.0f;
    m_prevPosition = float(pos);
    ++m_elapsedSeconds;

    const int files = m_totalFiles > 0 ? m_totalFiles : 1;
    const float total = float(cur * 0.01f * (100.0 / files) + (m_fileNumber - 1) * 100.0 / files);

    const QString speedText = QString::asprintf(" x%.2f", double(m_speedFactor));
    const QString currentText = QString::asprintf(" %3d%%", int(cur));
    const QString totalText = QString::asprintf(" %3d%%", int(total));
    const QString countText = QString::asprintf("( %2d / %2d )", m_fileNumber, m_totalFiles);
    const int s = m_elapsedSeconds;
    const QString timeText = QString::asprintf(" %02d:%02d:%02d", s / 3600, (s % 3600) / 60, s % 60);

    m_c.currentBar->SetPosition(int(cur));
    m_c.totalBar->SetPosition(int(total));
    m_c.currentTitle->SetWindowTextW(Text("IDS_CURRENT_TITLE") + currentText);
    m_c.speed->SetWindowTextW(Text("IDS_STR_SPEED") + speedText);
    m_c.time->SetWindowTextW(Text("IDS_TIME_TITLE") + timeText);
    m_c.totalTitle->SetWindowTextW(Text("IDS_TOTAL_TITLE") + totalText);
    m_c.count->SetWindowTextW(countText);
}

// --- the end of a file ---------------------------------------------------------------------

void ConversionDriver::StopEngineAndWait()
{
    m_engine.Stop();
    // Plain sleeps: nothing may be dispatched while the engine is going away.
    int polls = 0;
    while (m_engine.IsAlive()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_timings.stopPollMs));
        if (++polls >= m_timings.stopPollsBeforeKill) {
            m_engine.Kill();
            polls = 0;
        }
    }
}

void ConversionDriver::RemovePartialOutput()
{
    // The name was free when the file was prepared, so a file written there since the engine
    // started is what an engine that died or was killed left of an output it never finished.
    // (Our engine names its output only once it is complete; this is for any other.)
    if (m_outputPath.isEmpty() || !m_launchTime.isValid())
        return;
    const QFileInfo info(m_outputPath);
    if (info.isFile() && !info.isSymLink() && info.lastModified() >= m_launchTime.addSecs(-2))
        QFile::remove(m_outputPath);
}

int ConversionDriver::OnEngineFinished(quintptr, qintptr)
{
    if (!m_fileActive || m_currentRow < 0)
        return 0;
    m_fileActive = false;
    StopEngineAndWait();
    m_timer.stop();

    // The engine's word is not enough: the output must be on disk.
    const QFileInfo output(m_outputPath);
    if (!output.isFile() || output.size() <= 0) {
        RemovePartialOutput();
        FailCurrentRow();
        ContinueOrEnd(false);
        return 0;
    }
    m_list.SetChecked(m_currentRow, false);
    m_jobs.ShowRowStatus(m_currentRow, int(RowStatus::Complete));
    m_c.currentBar->SetPosition(100);
    m_c.currentTitle->SetWindowTextW(Text("IDS_CURRENT_TITLE") + QStringLiteral(" 100%"));
    m_completed.append({m_currentRow, m_inputPath, m_outputPath});
    emit fileEnded(m_currentRow, int(RowStatus::Complete));
    ContinueOrEnd(true);
    return 0;
}

int ConversionDriver::OnEngineFailed(quintptr, qintptr)
{
    if (!m_fileActive || m_currentRow < 0)
        return 0;
    m_fileActive = false;
    m_timer.stop();
    StopEngineAndWait();
    RemovePartialOutput();
    FailCurrentRow();
    ContinueOrEnd(false);
    return 0;
}

void ConversionDriver::FailOnStall()
{
    m_fileActive = false;
    m_timer.stop();
    StopEngineAndWait();
    m_engine.Cleanup();
    RemovePartialOutput();
    FailCurrentRow();
    ContinueOrEnd(false);
}

void ConversionDriver::FailCurrentRow()
{
    m_list.SetChecked(m_currentRow, false);
    m_jobs.ShowRowStatus(m_currentRow, int(RowStatus::Failed));
    m_c.currentBar->SetPosition(100);
    m_c.currentTitle->SetWindowTextW(Text("IDS_CURRENT_TITLE") + QStringLiteral(" 100%"));
    emit fileEnded(m_currentRow, int(RowStatus::Failed));
}

void ConversionDriver::ContinueOrEnd(bool lastSucceeded)
{
    if (m_list.NextChecked(m_currentRow) >= 0) {
        m_lastPosition = 0.0;
        m_prevPosition = 0.0f;
        m_speedFactor = 0.0f;
        StartNextFile();
        return;
    }
    EndRun();
    RunCompletionActions(lastSucceeded);
}

void ConversionDriver::ShowIdleButtons()
{
    m_c.cancel->SetState(ImageButton::StateSelected);
    m_c.convert->show();
    m_c.pause->hide();
    m_c.resume->hide();
}

void ConversionDriver::ShowSaveFolder()
{
    m_c.folderLabel->SetWindowTextW(m_settings.options.SaveFolder);
}

void ConversionDriver::EndRun()
{
    m_c.totalBar->SetPosition(100);
    m_c.totalTitle->SetWindowTextW(Text("IDS_TOTAL_TITLE") + QStringLiteral(" 100%"));
    m_list.SetDragAllowed(true);
    ShowIdleButtons();
    m_runStarted = false;
    m_fileActive = false;
    m_totalFiles = -1;
    m_currentRow = -1;
    m_fileNumber = 0;
    m_elapsedSeconds = 0;
    QFile::remove(m_scratchPath);
    ShowSaveFolder();
    SetControlsBusy(false);
    m_c.speed->SetWindowTextW(Text("IDS_STR_SPEED") + QStringLiteral(" x0.0"));
    m_inhibit.Release();
    emit runStateChanged(false);
}

void ConversionDriver::RunCompletionActions(bool deleteSources)
{
    ::RunCompletionActions(m_c.window, m_list, m_completed, deleteSources,
                           m_c.deleteSources->GetCheck(), m_c.shutDown->GetCheck());
}

// --- pause, resume, cancel -----------------------------------------------------------------

void ConversionDriver::Pause()
{
    if (!m_fileActive)
        return;
    m_engine.Control().Paused = 1;
    m_engine.SendControl();
    m_c.pause->hide();
    m_c.resume->show();
    m_c.speed->SetWindowTextW(Text("IDS_STR_SPEED") + QStringLiteral(" x0.0"));
}

void ConversionDriver::Resume()
{
    if (!m_fileActive)
        return;
    m_engine.Control().Paused = 0;
    m_engine.SendControl();
    m_c.resume->hide();
    m_c.pause->show();
}

void ConversionDriver::Cancel()
{
    if (!m_runStarted)
        return;
    if (XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CANCEL"), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // The box let events through: the run may have ended while the question was open.
    if (!m_runStarted)
        return;
    m_fileActive = false;
    m_timer.stop();
    StopEngineAndWait();
    m_engine.Cleanup();
    RemovePartialOutput();
    ShowIdleButtons();
    SetControlsBusy(false);
    ShowSaveFolder();
    m_jobs.ShowRowStatus(m_currentRow, int(RowStatus::Waiting));
    ResetProgress();
    m_list.SetDragAllowed(true);
    m_inhibit.Release();
    emit runStateChanged(false);
}

void ConversionDriver::ResetProgress()
{
    m_c.currentBar->SetPosition(0);
    m_c.totalBar->SetPosition(0);
    m_c.currentTitle->SetWindowTextW(Text("IDS_CURRENT_TITLE") + QStringLiteral(" 0%"));
    m_c.totalTitle->SetWindowTextW(Text("IDS_TOTAL_TITLE") + QStringLiteral(" 0%"));
    m_c.count->SetWindowTextW(QStringLiteral("( 0 / 0 )"));
    m_c.time->SetWindowTextW(Text("IDS_TIME_TITLE") + QStringLiteral(" 00:00:00"));
    m_c.speed->SetWindowTextW(Text("IDS_STR_SPEED") + QStringLiteral(" x0.0"));
    m_lastPosition = 0.0;
    m_prevPosition = 0.0f;
    m_speedFactor = 0.0f;
    m_runStarted = false;
    m_totalFiles = -1;
    m_currentRow = -1;
    m_fileNumber = 0;
    m_elapsedSeconds = 0;
}

void ConversionDriver::SetControlsBusy(bool busy)
{
    m_busy = busy;
    const int state = busy ? ImageButton::StateSelected : ImageButton::StateNormal;
    m_c.add->SetState(state);
    m_c.del->SetState(state);
    m_c.option->SetState(state);
    m_c.window->setAcceptDrops(!busy);
    m_list.SetAcceptFileDrops(!busy);
    m_list.setEnabled(!busy);
    m_c.hd->setEnabled(!busy);
    m_c.sd->setEnabled(!busy);
}

bool ConversionDriver::ConfirmExit()
{
    if (!m_engine.IsAlive())
        return true;
    if (XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVET_EXIT"), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    m_fileActive = false;
    m_timer.stop();
    StopEngineAndWait();
    m_engine.Cleanup();
    RemovePartialOutput();
    m_inhibit.Release();
    return true;
}

// --- engine reports ------------------------------------------------------------------------

void ConversionDriver::EngineFailed(int code)
{
    QCoreApplication::postEvent(this, new EngineEvent(kFailedEvent, m_generation.load(), code));
}

void ConversionDriver::EngineFinishing(engine::FinishingAck ack)
{
    // Nothing to do before the finish itself arrives; let the reader go on at once.
    ack.Done();
}

void ConversionDriver::EngineFinished(int result)
{
    QCoreApplication::postEvent(this, new EngineEvent(kFinishedEvent, m_generation.load(), result));
}

void ConversionDriver::EngineCreateFailed()
{
    // Once per run: with the program missing every file of the run would say the same.
    if (m_createErrorShown)
        return;
    m_createErrorShown = true;
    XMessageBoxKey(QStringLiteral("IDS_ERR_ENGINE_CREATE_FAIL"), MB_OK, QStringLiteral("IDS_WORD_ERROR"));
}

void ConversionDriver::customEvent(QEvent *event)
{
    if (event->type() != kFailedEvent && event->type() != kFinishedEvent) {
        QObject::customEvent(event);
        return;
    }
    const auto *e = static_cast<EngineEvent *>(event);
    if (e->generation != m_generation.load())
        return;   // from an engine of an earlier file
    if (event->type() == kFinishedEvent)
        OnEngineFinished(quintptr(e->value), 0);
    else
        OnEngineFailed(quintptr(e->value), 0);
}
