#include "movie/movie_run.h"

#include "encode/job_preparation.h"
#include "run/end_actions.h"
#include "probe/media_probe.h"

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
// window messages movie mode has always handled them under.
const QEvent::Type kFailedEvent = QEvent::Type(QEvent::User + engine::kWmEngineFailed);
const QEvent::Type kFinishedEvent = QEvent::Type(QEvent::User + engine::kWmEngineFinished);

class EngineEvent : public QEvent {
public:
    EngineEvent(Type type, quint64 eventGeneration, int eventValue)
        : QEvent(type)
        , generation(eventGeneration)
        , value(eventValue)
    {
    }
    const quint64 generation;
    const int value;
};

QString ScratchPath() { return QDir::tempPath() + QStringLiteral("/u2p.tmp"); }

} // namespace

MovieLoad MovieRun::ProbeLoad(const QString &path) const
{
    const MediaLength length = ProbeMediaLength(path);
    const bool hd = m_request.hdMode;
    return {length.seconds, SourceCost(length.width, length.height, length.frameRate, hd ? 1280 : 720, hd ? 720 : 480),
            SourceKind(length.width, length.height, length.frameRate)};
}

MovieRun::MovieRun(engine::EngineControl &engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    qRegisterMetaType<FileEnd>();
    qRegisterMetaType<RunSummary>();
    qRegisterMetaType<MovieProgress>();
    m_engine.Attach(this, &m_statusCopy);
    m_timer.setInterval(m_timings.tickMs);
    connect(&m_timer, &QTimer::timeout, this, &MovieRun::Tick);
}

MovieRun::~MovieRun()
{
    // Whoever listened may be going too: it hears nothing of this end.
    blockSignals(true);
    if (IsActive())
        Stop();
    m_engine.Cleanup();
    m_engine.Attach(nullptr, nullptr);
}

void MovieRun::SetTimings(const MovieRunTimings &timings)
{
    m_timings = timings;
    m_timer.setInterval(m_timings.tickMs);
}

void MovieRun::SetState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

// --- starting files ------------------------------------------------------------------------

bool MovieRun::Start(const MovieRunRequest &request)
{
    if (IsActive() || request.jobs.isEmpty())
        return false;
    m_request = request;
    m_summary = RunSummary{};
    m_log = RunLogEntry{QStringLiteral("movie"), QDateTime::currentDateTime(), {}, RunEnd::Finished, {}};
    m_current = -1;
    m_engineMissing = false;
    m_elapsedSeconds = 0;
    QList<MovieLoad> loads;
    for (const MovieRunJob &job : m_request.jobs)
        loads << (job.load ? *job.load : ProbeLoad(job.sourcePath));
    m_timeLeft.Begin(loads);
    m_clock.start();
    m_startMs = NowMs();
    m_pausedMs = 0;
    m_pausedAt = -1;
    m_inhibit.Acquire(QStringLiteral("Converting movies"));
    SetState(State::Starting);
    StartNext();
    return true;
}

void MovieRun::StartNext()
{
    ++m_current;
    if (m_current >= m_request.jobs.size()) {
        EndRun(RunEnd::Finished);
        return;
    }
    m_lastPosition = 0.0;
    m_prevPosition = 0.0f;
    m_speedFactor = 0.0f;
    SetState(State::Starting);
    m_launched = false;
    if (LaunchFile()) {
        SetState(State::Converting);
        return;
    }
    // With no engine program every further file would fail the same way: the run ends, and
    // the file goes back to waiting, as it is not at fault.
    if (m_engineMissing)
        EndFile(Outcome::Stopped, Reason::Of(ReasonKind::EngineMissing));
    else
        EndFile(Outcome::Failed, m_pendingReason);
}

bool MovieRun::LaunchFile()
{
    const MovieRunJob &job = m_request.jobs[m_current];
    const EncodeSettings &encode = m_request.encode;
    // A save folder removed since it was chosen would fail every file; make it again.
    if (QDir::isAbsolutePath(m_request.saveFolder))
        QDir().mkpath(m_request.saveFolder);
    m_outputPath =
        MakeOutputName(m_request.saveFolder, job.sourcePath, m_request.hdMode ? encode.HDFormat : encode.SDFormat);
    const PreparedJob prepared = PrepareJob(encode, m_request.hdMode, job.sourcePath, m_outputPath);
    emit fileStarted(job.row, m_outputPath);
    if (!prepared.ok()) {
        m_pendingReason = Reason::Preparation(int(prepared.arguments.error));
        return false;
    }

    // The previous engine's reader is gone once Cleanup returns; reports from it that are
    // still queued carry the old number.
    m_engine.Cleanup();
    ++m_generation;
    // A new file starts from nothing, not from the last report of the one before.
    m_statusCopy.Clear();
    m_launched = true;
    if (!m_engine.Launch(engine::ControlRecord{}, prepared.arguments.text) || !m_engine.Start()) {
        m_pendingReason = Reason::Of(ReasonKind::EngineLost);
        return false;
    }
    m_stallTicks = 0;
    m_stalledTicks = 0;
    m_graceCount = 0;
    m_timeLeft.FileStarted(m_current, RunSeconds());
    m_timer.start(m_timings.tickMs);
    return true;
}

// --- progress ------------------------------------------------------------------------------

qint64 MovieRun::NowMs() const { return m_timings.clockMs ? m_timings.clockMs() : m_clock.elapsed(); }

double MovieRun::RunSeconds() const
{
    const qint64 paused = m_pausedMs + (m_pausedAt >= 0 ? NowMs() - m_pausedAt : 0);
    return double(NowMs() - m_startMs - paused) / 1000.0;
}

void MovieRun::Tick()
{
    if (m_state != State::Converting && m_state != State::Paused)
        return;
    if (m_stallTicks > m_timings.stallLimit) {
        ++m_stalledTicks;
        if (m_engine.IsAlive() && m_graceCount < m_timings.graceLimit) {
            ++m_graceCount;
            m_stallTicks = 0;
        } else {
            EndFile(Outcome::Failed, Reason::Stall(m_stalledTicks));
        }
        return;
    }
    if (m_state == State::Paused)
        return;
    const engine::EngineStatus status = m_statusCopy.Load();
    if (m_lastPosition == status.Position) {
        ++m_stallTicks;
        ++m_stalledTicks;
    } else {
        m_stallTicks = 0;
        m_stalledTicks = 0;
        m_graceCount = 0;
    }
    m_timeLeft.Tick(status.Position, RunSeconds());
    ShowProgress();
}

void MovieRun::ShowProgress()
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

    const int files = int(m_request.jobs.size());
    const int fileNumber = m_current + 1;
    const float total = float(cur * 0.01f * (100.0 / files) + (fileNumber - 1) * 100.0 / files);

    MovieProgress progress;
    progress.currentPercent = int(cur);
    progress.totalPercent = int(total);
    progress.fileNumber = fileNumber;
    progress.totalFiles = files;
    progress.elapsedSeconds = m_elapsedSeconds;
    progress.speedFactor = m_speedFactor;
    progress.fileSecondsLeft = m_timeLeft.FileLeft().value_or(-1);
    progress.batchSecondsLeft = m_timeLeft.BatchLeft().value_or(-1);
    emit progressChanged(progress);
}

// --- the end of a file ---------------------------------------------------------------------

void MovieRun::StopEngineAndWait()
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

void MovieRun::OnEngineFinished()
{
    // A file took the output's name while the engine wrote: the output went to the next free
    // one, in the same folder.
    const QString named = QString::fromStdString(m_engine.OutputName());
    if (!named.isEmpty() && QFileInfo(named).absolutePath() == QFileInfo(m_outputPath).absolutePath())
        m_outputPath = named;
    // The engine's word is not enough: the output must be on disk.
    const QFileInfo output(m_outputPath);
    if (!output.isFile() || output.size() <= 0)
        EndFile(Outcome::Failed, Reason::Of(ReasonKind::NoOutput));
    else
        EndFile(Outcome::Done, Reason{});
}

void MovieRun::OnEngineFailed(int code) { EndFile(Outcome::Failed, Reason::Engine(code)); }

void MovieRun::EndFile(Outcome outcome, Reason reason)
{
    // Whatever stands at the output name is left alone: the engine names its output only once
    // it is complete and removes what it did not finish.
    m_timer.stop();
    StopEngineAndWait();
    m_engine.Cleanup();
    m_timeLeft.FileEnded(outcome == Outcome::Done, RunSeconds());
    const MovieRunJob &job = m_request.jobs[m_current];
    const FileEnd end{job.row, job.sourcePath, m_outputPath, outcome, reason};
    m_summary.files.append(end);
    // What the engine was told and said, for the log; read once it has gone, so that its last
    // words are in.
    RunLogFile logged{end, {}, {}};
    if (m_launched) {
        logged.engineArguments = QString::fromStdString(m_engine.ArgumentText());
        for (const std::string &line : m_engine.LastDiagnostics())
            logged.diagnostics << QString::fromStdString(line);
    }
    m_log.files << logged;
    emit fileEnded(end);

    if (m_state == State::Stopping)
        EndRun(m_stopEnd);
    else if (outcome == Outcome::Stopped)
        EndRun(RunEnd::EngineMissing);
    else
        StartNext();
}

void MovieRun::EndRun(RunEnd end)
{
    m_timer.stop();
    m_current = -1;
    m_summary.end = end;
    m_summary.sourcesMayGo = !m_summary.files.isEmpty() && m_summary.files.last().outcome == Outcome::Done;
    if (end == RunEnd::Finished || end == RunEnd::EngineMissing)
        QFile::remove(ScratchPath());
    m_inhibit.Release();
    m_log.ended = QDateTime::currentDateTime();
    m_log.end = end;
    RunLog().Append(m_log); // a log that cannot be written changes nothing else
    SetState(State::Ended);
    emit runEnded(m_summary);
}

// --- pause, resume, cancel, stop -----------------------------------------------------------

void MovieRun::Pause()
{
    if (m_state != State::Converting)
        return;
    m_engine.Control().Paused = 1;
    m_engine.SendControl();
    m_pausedAt = NowMs();
    SetState(State::Paused);
}

void MovieRun::Resume()
{
    if (m_state != State::Paused)
        return;
    m_engine.Control().Paused = 0;
    m_engine.SendControl();
    if (m_pausedAt >= 0)
        m_pausedMs += NowMs() - m_pausedAt;
    m_pausedAt = -1;
    SetState(State::Converting);
}

void MovieRun::Cancel() { StopRun(RunEnd::Cancelled); }

void MovieRun::Stop() { StopRun(RunEnd::Stopped); }

void MovieRun::StopRun(RunEnd end)
{
    if (!IsActive() || m_current < 0)
        return;
    m_stopEnd = end;
    SetState(State::Stopping);
    m_timer.stop();
    StopEngineAndWait();
    // Cleanup joins the engine's reader: whatever it had read is posted by now. A finish it
    // reported is taken as it is, so a complete output stays complete and its row says so.
    m_engine.Cleanup();
    QCoreApplication::sendPostedEvents(this, 0);
    if (IsActive())
        EndFile(end == RunEnd::Cancelled ? Outcome::Cancelled : Outcome::Stopped, Reason{});
}

// --- engine reports ------------------------------------------------------------------------

void MovieRun::EngineFailed(int code)
{
    QCoreApplication::postEvent(this, new EngineEvent(kFailedEvent, m_generation.load(), code));
}

void MovieRun::EngineFinishing(engine::FinishingAck ack)
{
    // Nothing to do before the finish itself arrives; let the reader go on at once.
    ack.Done();
}

void MovieRun::EngineFinished(int result)
{
    QCoreApplication::postEvent(this, new EngineEvent(kFinishedEvent, m_generation.load(), result));
}

void MovieRun::EngineCreateFailed() { m_engineMissing = true; }

void MovieRun::customEvent(QEvent *event)
{
    if (event->type() != kFailedEvent && event->type() != kFinishedEvent) {
        QObject::customEvent(event);
        return;
    }
    const auto *e = static_cast<EngineEvent *>(event);
    if (e->generation != m_generation.load())
        return; // from an engine of an earlier file
    if (m_current < 0)
        return;
    if (event->type() == kFinishedEvent && m_state != State::Starting)
        OnEngineFinished();
    else if (m_state == State::Converting || m_state == State::Paused)
        OnEngineFailed(e->value); // a stopped engine's failure is the stop itself
}
