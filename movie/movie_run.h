#pragma once

#include "encode/encode_settings.h"
#include "engine/engine_control.h"
#include "movie/movie_time_left.h"
#include "run/run_clock.h"
#include "run/run_log.h"
#include "run/run.h"
#include "run/run_outcome.h"
#include "platform/power_inhibit.h"
#include "probe/media_prober.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <optional>

// Tick period and watchdog limits; tests tick by hand.
struct MovieRunTimings {
    int tickMs = 1000;
    int stallLimit = 15;    // a stall acts once more ticks than this passed without progress
    int graceLimit = 1;     // fresh starts of the stall count granted to a live engine
    int stopGraceMs = 1500; // a stopped engine that has not ended by then is killed
    // The clock of the time-left estimate, in milliseconds; a monotonic clock when empty.
    std::function<qint64()> clockMs;
};

// Converts the jobs of a run one after another, one engine per file, and reports what
// happens as values; it holds no widget. It reads the request's profile (hd, encode) and its
// output folder. Every file ends in EndFile, with an outcome and a reason, and is reported
// once its engine has gone. Lives on the window thread, which never waits here: the files are
// probed on the prober's thread, and what the engine link's threads learn (connected,
// reports, ended) reaches the run as posted events and the status copy. Starting waits for
// the file's probe and its engine's connection; Stopping (and the gap between files) for the
// engine's end, with a kill after the grace.
class MovieRun : public Run, private engine::EngineSink {
    Q_OBJECT
public:
    static constexpr int kProgressTimerId = 7979;

    explicit MovieRun(engine::EngineControl &engine, QObject *parent = nullptr);
    ~MovieRun() override; // an engine still running is stopped and killed at once, unreported

    void SetTimings(const MovieRunTimings &timings);
    // Test seam: the time-left loads of the next run's jobs, by job, where given instead of
    // from their probes.
    void SetLoads(const QList<std::optional<MovieLoad>> &loads) { m_givenLoads = loads; }

    bool Start(const RunRequest &request) override;
    // Pause holds the engine, also one still starting (Starting): the file in work waits for
    // Resume, held. A pause lasts over a file's end: the next file's engine starts held.
    void Pause() override;
    void Resume() override;
    // Both stop the engine and end the run (Ended, runEnded) once it has gone, taking an end
    // the engine had already reported.
    void Cancel() override;
    void Stop() override;

    // The progress timer's tick, public so that tests tick by hand.
    void Tick();

    State CurrentState() const override { return m_state; }
    // The row id of the file in work; kNoRowId between runs.
    int CurrentId() const { return m_current < 0 ? kNoRowId : m_request.jobs[m_current].id; }
    QString CurrentOutputPath() const { return m_outputPath; }
    bool IsTimerActive() const { return m_timer.isActive(); }
    engine::EngineStatus LastStatus() const { return m_statusCopy.Load(); }
    int ElapsedSeconds() const { return m_elapsedSeconds; }
    // 1-based number of the file in work, and how many the run has.
    int FileNumber() const { return m_current + 1; }
    int TotalFiles() const { return int(m_request.jobs.size()); }
    bool HoldsPowerInhibit() const { return m_inhibit.IsHeld(); }
    const MovieRunTimings &Timings() const { return m_timings; }

protected:
    void customEvent(QEvent *event) override;

private:
    // EngineSink, on the engine link's threads: each becomes a posted event.
    void EngineConnected() override;
    void EngineConnectFailed() override;
    void EngineCreateFailed() override;
    void EngineFailed(int code) override;
    void EngineFinishing(engine::FinishingAck ack) override;
    void EngineFinished(int result) override;
    void EngineEnded() override;
    void Post(int type, int value = 0);

    void SetState(State state);
    // The file in work waits for its probe or its engine, also in a paused run.
    bool IsStarting() const { return (m_state == State::Starting || m_state == State::Paused) && !m_begun; }
    void OnProbed(int index, const MediaRecord &record);
    void StartNext();
    void LaunchFile();
    void OnEngineConnected();
    void OnEngineFinished();
    void OnEngineEvent(int type, int value);
    // Decides the file's end and lets its engine go; FileGone reports it once it has.
    void EndFile(Outcome outcome, Reason reason);
    void OnKillTimer();
    void FileGone();
    void EndRun(RunEnd end);
    void StopRun(RunEnd end);
    void ShowProgress();

    engine::EngineControl &m_engine;
    MovieRunTimings m_timings;
    QTimer m_timer;
    QTimer m_killTimer; // a stopped engine's grace
    platform::PowerInhibit m_inhibit;
    MovieTimeLeft m_timeLeft;
    RunClock m_clock; // the time left's: stands while the run is paused
    engine::StatusCopy m_statusCopy;
    // Engine events carry the number of the launch they came from; older ones are dropped.
    std::atomic<quint64> m_generation{0};

    State m_state = State::Idle;
    RunRequest m_request;
    QList<std::optional<MovieLoad>> m_givenLoads;
    QList<std::optional<MediaRecord>> m_records; // by job, as the prober hands them back
    RunSummary m_summary;
    RunLogEntry m_log;
    bool m_launched = false; // the engine was started for the file in work
    bool m_begun = false;    // and told to begin it
    bool m_engineUp = false; // and has not been learnt gone
    int m_current = -1;      // index into m_request.jobs
    QString m_outputPath;
    struct Ending {
        Outcome outcome;
        Reason reason;
    };
    std::optional<Ending> m_ending; // the file in work has ended; its engine is going
    RunEnd m_stopEnd = RunEnd::Stopped;
    int m_elapsedSeconds = 0;
    int m_stallTicks = 0;
    int m_stalledTicks = 0; // since the position last changed, grace ticks included
    int m_graceCount = 0;
    double m_lastPosition = 0.0;
    float m_prevPosition = 0.0f;
    float m_speedFactor = 0.0f;
    // Last, so that it goes first: no record arrives for a run being taken down.
    MediaProber m_prober;
};
