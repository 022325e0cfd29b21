#pragma once

#include "image/image_worker.h"
#include "platform/power_inhibit.h"
#include "run/run.h"
#include "run/run_clock.h"
#include "run/run_log.h"

#include <QHash>
#include <QThread>
#include <QTimer>

#include <memory>
#include <optional>

// Converts the pictures of one run at a time on a thread of its own: owns that thread, its
// worker, the stop and pause requests, the elapsed clock and the lock that keeps the machine
// from sleeping while it runs. It reads the request's box, quarter turns and output folder.
// Lives on the window thread; what the worker reports arrives here queued.
// Starting lasts until the worker's first report. Paused comes as soon as it is asked for:
// the clock stands still at once, and the worker holds before its next picture, the one in
// work being finished first. Stopping likewise lasts while the picture in work is finished.
// A stop always ends the run as Stopped; a cancel as Cancelled, unless the worker had already
// got through every picture: that run ends Finished.
class ImageRun : public Run {
    Q_OBJECT
public:
    static constexpr int kClockPeriodMs = 1000;

    explicit ImageRun(QObject *parent = nullptr);
    // A run still going is stopped: its picture in work is finished and its thread joined.
    // Whoever listened hears nothing of that end, but the log does.
    ~ImageRun() override;

    bool Start(const RunRequest &request) override;
    void Pause() override;
    void Resume() override;
    void Cancel() override;
    void Stop() override;
    // A row unchecked before the worker reaches it is passed by and leaves the run's total.
    void SetJobWanted(int id, bool wanted) override;
    State CurrentState() const override { return m_state; }

    // The clock's tick, public so that tests tick by hand: a second of the run unless paused.
    void Tick();
    // Test seam: the clock of the time left, in milliseconds, from the next Start on.
    void SetClock(RunClock::Source source) { m_clockSource = std::move(source); }

private:
    void SetState(State state);
    void StopRun(RunEnd end);
    void OnProgress(int done, int total);
    void OnFileEnded(const FileEnd &end);
    void OnWorkerEnded(bool stopped);
    void ShowProgress();
    void JoinThread();
    // The time left counts the worker's time: a pause stops its clock once the picture in
    // work is finished, which the worker does first.
    void FollowWorker();

    std::shared_ptr<ImageRunFlags> m_flags;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<ImageWorker> m_worker;
    QTimer m_clock;
    platform::PowerInhibit m_awake;
    State m_state = State::Idle;
    std::optional<RunEnd> m_stopEnd; // asked for by Cancel or Stop
    QHash<int, int> m_jobOfId;       // job index by row id
    int m_done = 0;
    int m_total = 0;
    int m_elapsed = 0;    // seconds of the run shown, pauses left out
    RunClock m_workClock; // the worker's time, for the time left
    RunClock::Source m_clockSource;
    double m_doneAt = 0.0; // m_workClock's seconds when the last picture was done
    bool m_inWork = false; // a picture has started and not ended
    RunSummary m_summary;
    RunLogEntry m_log;
};
