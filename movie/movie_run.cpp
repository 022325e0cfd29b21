#include "movie/movie_run.h"

#include "encode/encoder_args_builder.h"
#include "encode/job_preparation.h"
#include "platform/native_name.h"
#include "run/end_actions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>

namespace {

// The engine's reports as they cross from the link's threads; the failed and finished type
// numbers are the window messages movie mode has always handled them under.
enum EngineEventType {
    kFailedEvent = QEvent::User + engine::kWmEngineFailed,
    kFinishedEvent = QEvent::User + engine::kWmEngineFinished,
    kConnectedEvent = QEvent::User + engine::kWmEngineFinishing + 1,
    kConnectFailedEvent,
    kCreateFailedEvent,
    kEndedEvent,
};

class EngineEvent : public QEvent {
public:
    EngineEvent(int type, quint64 launch, int reported)
        : QEvent(QEvent::Type(type))
        , generation(launch)
        , value(reported)
    {
    }
    const quint64 generation;
    const int value;
};

QString ScratchPath() { return QDir::tempPath() + QStringLiteral("/u2p.tmp"); }

} // namespace

MovieRun::MovieRun(engine::EngineControl &engine, QObject *parent)
    : Run(parent)
    , m_engine(engine)
{
    qRegisterMetaType<FileEnd>();
    qRegisterMetaType<RunSummary>();
    qRegisterMetaType<RunProgress>();
    m_engine.Attach(this, &m_statusCopy);
    m_timer.setInterval(m_timings.tickMs);
    connect(&m_timer, &QTimer::timeout, this, &MovieRun::Tick);
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, &MovieRun::OnKillTimer);
    connect(&m_prober, &MediaProber::probed, this, &MovieRun::OnProbed);
}

MovieRun::~MovieRun()
{
    // Whoever listened may be going too: it hears nothing of this end, but the log does. The
    // program may be ending: no grace, the engine is asked to stop and killed at once.
    blockSignals(true);
    m_prober.Cancel();
    m_engine.Stop();
    if (IsActive()) {
        m_state = State::Stopping;
        m_stopEnd = RunEnd::Stopped;
        if (!m_launched && !m_ending) {
            EndRun(RunEnd::Stopped);
        } else {
            if (!m_ending)
                m_ending = Ending{Outcome::Stopped, Reason{}};
            FileGone();
        }
    }
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

bool MovieRun::Start(const RunRequest &request)
{
    if (IsActive() || request.jobs.isEmpty())
        return false;
    m_request = request;
    m_summary = RunSummary{};
    m_log = RunLogEntry{QStringLiteral("movie"), QDateTime::currentDateTime(), {}, {}, {}, {}};
    RunLog().Begin(m_log); // a log that cannot be written changes nothing else
    m_current = -1;
    m_elapsedSeconds = 0;
    m_records.clear();
    QList<MovieLoad> loads;
    QStringList paths;
    for (const RunJob &job : m_request.jobs) {
        m_records.append(std::nullopt);
        loads << m_givenLoads.value(loads.size()).value_or(MovieLoad{});
        paths << job.sourcePath;
    }
    m_timeLeft.Begin(loads);
    m_prober.Probe(paths);
    m_clock.SetSource(m_timings.clockMs);
    m_clock.Start();
    m_inhibit.Acquire(QStringLiteral("Converting movies"));
    SetState(State::Starting);
    StartNext();
    return true;
}

void MovieRun::OnProbed(int index, const MediaRecord &record)
{
    if (!IsActive() || index < 0 || index >= m_records.size())
        return;
    m_records[index] = record;
    if (!m_givenLoads.value(index)) {
        const MediaLength &length = record.length;
        const bool hd = m_request.hd;
        m_timeLeft.SetLoad(index,
                           {length.seconds,
                            SourceCost(length.width, length.height, length.frameRate, hd ? 1280 : 720, hd ? 720 : 480),
                            SourceKind(length.width, length.height, length.frameRate)});
    }
    // The file in work waited for its record.
    if (index == m_current && IsStarting() && !m_launched && !m_ending)
        LaunchFile();
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
    m_launched = false;
    m_begun = false;
    m_ending.reset();
    if (m_state != State::Paused)
        SetState(State::Starting);
    if (m_records[m_current])
        LaunchFile();
}

void MovieRun::LaunchFile()
{
    const RunJob &job = m_request.jobs[m_current];
    const EncodeSettings &encode = m_request.encode;
    // An output folder removed since it was chosen would fail every file; make it again. One
    // that is not valid gives no output name, and the file fails as unprepared.
    m_request.outputFolder.Make();
    m_outputPath =
        MakeOutputName(m_request.outputFolder, job.sourcePath, m_request.hd ? encode.HDFormat : encode.SDFormat);
    const PreparedJob prepared =
        PrepareJob(encode, m_request.hd, m_records[m_current]->facts, job.sourcePath, m_outputPath);
    emit fileStarted(job.id, m_outputPath);
    if (!prepared.ok()) {
        EndFile(Outcome::Failed, Reason::Preparation(int(prepared.arguments.error)));
        return;
    }

    // The previous engine's threads are gone once Cleanup returns; reports from it that are
    // still queued carry the old number.
    m_engine.Cleanup();
    ++m_generation;
    // A new file starts from nothing, not from the last report of the one before.
    m_statusCopy.Clear();
    m_launched = true;
    // With no engine program every further file would fail the same way: the run ends, and
    // the file goes back to waiting, as it is not at fault.
    engine::ControlRecord control;
    control.Paused = m_state == State::Paused ? 1 : 0;
    if (!m_engine.Launch(control, prepared.arguments.text)) {
        EndFile(Outcome::Stopped, Reason::Of(ReasonKind::EngineMissing));
        return;
    }
    m_engineUp = true; // Starting until the engine connects
}

void MovieRun::OnEngineConnected()
{
    if (!m_engine.Start()) {
        EndFile(Outcome::Failed, Reason::Of(ReasonKind::EngineLost));
        return;
    }
    m_stallTicks = 0;
    m_stalledTicks = 0;
    m_graceCount = 0;
    m_begun = true;
    m_timeLeft.FileStarted(m_current, m_clock.Seconds());
    m_timer.start(m_timings.tickMs);
    if (m_state != State::Paused)
        SetState(State::Converting);
}

// --- progress ------------------------------------------------------------------------------

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
    m_timeLeft.Tick(status.Position, m_clock.Seconds());
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

    RunProgress progress;
    progress.fileNumber = fileNumber;
    progress.totalFiles = files;
    progress.filesEnded = int(m_summary.files.size());
    progress.currentPercent = int(cur);
    progress.totalPercent = int(total);
    progress.elapsedSeconds = m_elapsedSeconds;
    progress.speedFactor = m_speedFactor;
    progress.fileSecondsLeft = m_timeLeft.FileLeft().value_or(-1);
    progress.batchSecondsLeft = m_timeLeft.BatchLeft().value_or(-1);
    emit progressChanged(progress);
}

// --- the end of a file ---------------------------------------------------------------------

void MovieRun::OnEngineFinished()
{
    // A file took the output's name while the engine wrote: the output went to the next free
    // one, in the same folder.
    const std::string engineName = m_engine.OutputName();
    const QString named = platform::NameFromNative(QByteArrayView(engineName.data(), qsizetype(engineName.size())));
    const auto folderOf = [](const QString &path) { return path.left(path.lastIndexOf(QLatin1Char('/'))); };
    if (!named.isEmpty() && folderOf(named) == folderOf(m_outputPath))
        m_outputPath = named;
    // The engine's word is not enough: the output must be on disk.
    const platform::NameInfo output = platform::StatName(m_outputPath);
    const bool there = output.isFile && output.size > 0;
    const Ending ending{there ? Outcome::Done : Outcome::Failed, there ? Reason{} : Reason::Of(ReasonKind::NoOutput)};
    // A finish reported before a cancel or a close counts: a complete output stays complete
    // and its row says so.
    if (m_ending)
        m_ending = ending;
    else
        EndFile(ending.outcome, ending.reason);
}

void MovieRun::EndFile(Outcome outcome, Reason reason)
{
    if (m_ending)
        return;
    m_timer.stop();
    m_ending = Ending{outcome, reason};
    // On to the next file, or the run's end; a paused run stays paused, its clock standing.
    if (m_state != State::Stopping && m_state != State::Paused)
        SetState(State::Starting);
    // Whatever stands at the output name is left alone: the engine names its output only once
    // it is complete and removes what it did not finish. It gets the grace to do so.
    if (m_engineUp) {
        m_engine.Stop();
        m_killTimer.start(m_timings.stopGraceMs);
        return;
    }
    FileGone();
}

void MovieRun::OnKillTimer()
{
    if (!m_engineUp)
        return;
    // Its end is heard as an event; should that never come, the next look finds it gone.
    if (m_engine.IsAlive()) {
        m_engine.Kill();
        m_killTimer.start(m_timings.stopGraceMs);
        return;
    }
    FileGone();
}

void MovieRun::FileGone()
{
    m_killTimer.stop();
    m_engineUp = false;
    if (m_launched) {
        m_engine.IsAlive(); // reaps it
        m_engine.Cleanup();
    }
    const Ending ending = *m_ending;
    m_timeLeft.FileEnded(ending.outcome == Outcome::Done, m_clock.Seconds());
    const RunJob &job = m_request.jobs[m_current];
    const FileEnd end{job.id, job.sourcePath, m_outputPath, ending.outcome, ending.reason};
    m_summary.files.append(end);
    // What the engine was told and said, for the log; read once it has gone, so that its last
    // words are in.
    RunLogFile logged{end, {}, {}};
    if (m_launched) {
        logged.engineArguments = ReadableEngineArguments(m_engine.ArgumentText());
        for (const std::string &line : m_engine.LastDiagnostics())
            logged.diagnostics << QString::fromStdString(line);
    }
    m_log.files << logged;
    emit fileEnded(end);

    if (m_state == State::Stopping)
        EndRun(m_stopEnd);
    else if (ending.outcome == Outcome::Stopped)
        EndRun(RunEnd::EngineMissing);
    else
        StartNext();
}

void MovieRun::EndRun(RunEnd end)
{
    m_timer.stop();
    m_prober.Cancel();
    m_current = -1;
    m_summary.end = end;
    m_summary.sourcesMayGo = !m_summary.files.isEmpty() && m_summary.files.last().outcome == Outcome::Done;
    if (end == RunEnd::Finished || end == RunEnd::EngineMissing)
        QFile::remove(ScratchPath());
    m_inhibit.Release();
    m_givenLoads.clear();
    m_log.ended = QDateTime::currentDateTime();
    m_log.end = end;
    RunLog().Complete(m_log);
    SetState(State::Ended);
    emit runEnded(m_summary);
}

// --- pause, resume, cancel, stop -----------------------------------------------------------

void MovieRun::Pause()
{
    if (m_state != State::Converting && m_state != State::Starting)
        return;
    // An engine not yet started is launched held, one not yet connected told on connecting.
    m_engine.Control().Paused = 1;
    m_engine.SendControl();
    m_clock.Pause();
    SetState(State::Paused);
}

void MovieRun::Resume()
{
    if (m_state != State::Paused)
        return;
    // An engine not yet connected is sent the record on connecting.
    m_engine.Control().Paused = 0;
    m_engine.SendControl();
    m_clock.Resume();
    SetState(m_begun && !m_ending ? State::Converting : State::Starting);
}

void MovieRun::Cancel() { StopRun(RunEnd::Cancelled); }

void MovieRun::Stop() { StopRun(RunEnd::Stopped); }

void MovieRun::StopRun(RunEnd end)
{
    if (!IsActive() || m_state == State::Stopping)
        return;
    m_stopEnd = end;
    m_timer.stop();
    SetState(State::Stopping);
    if (m_ending) {
        // The file has ended already and its engine is going; the run ends when it has.
        if (m_engineUp)
            m_engine.Stop();
        return;
    }
    // A file still waiting for its probe never started: it simply keeps waiting.
    if (!m_launched) {
        EndRun(end);
        return;
    }
    EndFile(end == RunEnd::Cancelled ? Outcome::Cancelled : Outcome::Stopped, Reason{});
}

// --- engine reports ------------------------------------------------------------------------

void MovieRun::Post(int type, int value)
{
    QCoreApplication::postEvent(this, new EngineEvent(type, m_generation.load(), value));
}

void MovieRun::EngineConnected() { Post(kConnectedEvent); }

void MovieRun::EngineConnectFailed() { Post(kConnectFailedEvent); }

void MovieRun::EngineCreateFailed() { Post(kCreateFailedEvent); }

void MovieRun::EngineFailed(int code) { Post(kFailedEvent, code); }

void MovieRun::EngineFinishing(engine::FinishingAck ack)
{
    // Nothing to do before the finish itself arrives; let the reader go on at once.
    ack.Done();
}

void MovieRun::EngineFinished(int result) { Post(kFinishedEvent, result); }

void MovieRun::EngineEnded() { Post(kEndedEvent); }

void MovieRun::customEvent(QEvent *event)
{
    const int type = int(event->type());
    if (type < kFailedEvent || type > kEndedEvent || type == QEvent::User + engine::kWmEngineFinishing) {
        QObject::customEvent(event);
        return;
    }
    const auto *e = static_cast<EngineEvent *>(event);
    // From an engine of an earlier file, or of a run that has ended.
    if (e->generation != m_generation.load() || m_current < 0 || !m_launched)
        return;
    OnEngineEvent(type, e->value);
}

void MovieRun::OnEngineEvent(int type, int value)
{
    const bool converting = (m_state == State::Converting || m_state == State::Paused) && m_begun && !m_ending;
    switch (type) {
    case kConnectedEvent:
        if (IsStarting() && !m_ending)
            OnEngineConnected();
        break;
    case kConnectFailedEvent:
        if (!m_ending)
            EndFile(Outcome::Failed, Reason::Of(ReasonKind::EngineLost));
        break;
    case kCreateFailedEvent: // it has ended: nothing to stop
        if (!m_engineUp)
            break;
        if (m_ending) {
            FileGone();
        } else {
            m_engineUp = false;
            EndFile(Outcome::Stopped, Reason::Of(ReasonKind::EngineMissing));
        }
        break;
    case kFinishedEvent:
        // A finish after the file's own end (a stall, say) changes nothing.
        if (converting
            || (m_ending && m_state == State::Stopping
                && (m_ending->outcome == Outcome::Cancelled || m_ending->outcome == Outcome::Stopped)))
            OnEngineFinished();
        break;
    case kFailedEvent:
        // A stopped engine's failure is the stop itself.
        if (converting)
            EndFile(Outcome::Failed, Reason::Engine(value));
        break;
    case kEndedEvent:
        // An engine that ends by itself mid-file is the stall watchdog's to judge.
        if (m_ending && m_engineUp)
            FileGone();
        else
            m_engineUp = false;
        break;
    }
}
