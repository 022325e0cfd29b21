#pragma once

#include "encode/encode_settings.h"
#include "engine/engine_messages.h"
#include "engine/engine_process.h"
#include "movie/completion_actions.h"
#include "platform/power_inhibit.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>

class FileListCtrl;
class ImageButton;
class JobList;
class ProgressBarCtrl;
class QWidget;

// The movie window's controls that a run drives. All belong to the window.
struct MovieControls {
    QWidget *window = nullptr;   // owner of the messages; stops taking drops while busy
    ImageButton *convert = nullptr;
    ImageButton *cancel = nullptr;
    ImageButton *pause = nullptr;
    ImageButton *resume = nullptr;
    ImageButton *add = nullptr;
    ImageButton *del = nullptr;
    ImageButton *option = nullptr;
    ImageButton *hd = nullptr;
    ImageButton *sd = nullptr;
    ImageButton *deleteSources = nullptr;
    ImageButton *shutDown = nullptr;
    ImageButton *folderLabel = nullptr;
    ImageButton *currentTitle = nullptr;
    ImageButton *speed = nullptr;
    ImageButton *time = nullptr;
    ImageButton *totalTitle = nullptr;
    ImageButton *count = nullptr;
    ProgressBarCtrl *currentBar = nullptr;
    ProgressBarCtrl *totalBar = nullptr;
};

// Tick period and watchdog limits; tests shorten them or tick by hand.
struct DriverTimings {
    int tickMs = 1000;
    int stallLimit = 15;   // a stall acts once more ticks than this passed without progress
    int graceLimit = 1;    // fresh starts of the stall count granted to a live engine
    int stopPollMs = 10;   // StopEngineAndWait: poll period, and kill after this many polls
    int stopPollsBeforeKill = 50;
};

// Converts the checked rows of the job list one after another, one engine per file, and shows
// the progress. Lives on the window thread and runs everything there; the engine's reader
// thread reaches it only through posted events (and the status copy it overwrites).
class ConversionDriver : public QObject, private engine::EngineSink {
    Q_OBJECT
public:
    static constexpr int kProgressTimerId = 7979;

    // settings: the window's; read when each file is prepared.
    ConversionDriver(const MovieControls &controls, JobList &jobs, engine::EngineProcess &engine,
                     const MovieSettings &settings, QObject *parent = nullptr);
    ~ConversionDriver() override;

    void SetTimings(const DriverTimings &timings);
    const DriverTimings &Timings() const { return m_timings; }

    // Convert: starts the next checked row after the current one (a new run from the top when
    // none is running). A row whose job cannot be prepared or whose engine does not start is
    // marked failed and the next one is tried; with none left the run ends.
    void StartNextFile();
    // The progress timer's handler; other timer ids are none of its business.
    void OnProgressTimer(int timerId);
    void UpdateProgressDisplay();
    // The engine's reports, once they reached the window thread. Both return 0.
    int OnEngineFinished(quintptr wParam, qintptr lParam);
    int OnEngineFailed(quintptr wParam, qintptr lParam);
    void FailOnStall();
    void EndRun();
    void Pause();
    void Resume();
    // Asks first; on Yes stops the engine, the row goes back to waiting and the run ends
    // without any end-of-run action.
    void Cancel();
    void ResetProgress();
    void SetControlsBusy(bool busy);
    // Stops the engine; polls without dispatching events and kills it while it survives.
    void StopEngineAndWait();
    void RunCompletionActions(bool deleteSources);
    // Closing the window: true when it may close (no engine, or the user agreed and the engine
    // was stopped). No end-of-run action runs.
    bool ConfirmExit();

    bool IsRunStarted() const { return m_runStarted; }
    bool IsBusy() const { return m_busy; }
    // An engine is converting a file of this run (paused or not).
    bool IsFileActive() const { return m_fileActive; }
    bool IsPaused() const { return m_engine.Control().Paused != 0; }
    bool IsTimerActive() const { return m_timer.isActive(); }
    int TotalFiles() const { return m_totalFiles; }
    int CurrentRow() const { return m_currentRow; }
    int FileNumber() const { return m_fileNumber; }
    int ElapsedSeconds() const { return m_elapsedSeconds; }
    int StallTicks() const { return m_stallTicks; }
    int GraceCount() const { return m_graceCount; }
    float SpeedFactor() const { return m_speedFactor; }
    QList<CompletedFile> CompletedFiles() const { return m_completed; }
    QString CurrentOutputPath() const { return m_outputPath; }
    QString ScratchFilePath() const { return m_scratchPath; }
    engine::StatusCopy &StatusCopy() { return m_statusCopy; }
    bool HoldsPowerInhibit() const { return m_inhibit.IsHeld(); }

    // The list is empty again: nothing to continue from.
    void ForgetCurrentRow() { m_currentRow = -1; }

signals:
    // A run began or ended (cancel included); the launcher refuses mode switches meanwhile.
    void runStateChanged(bool started);
    // A file ended: status is 3 (failed) or 4 (complete).
    void fileEnded(int row, int status);

protected:
    void customEvent(QEvent *event) override;

private:
    // EngineSink: reader thread, except EngineCreateFailed (window thread, inside Launch).
    void EngineFailed(int code) override;
    void EngineFinishing(engine::FinishingAck ack) override;
    void EngineFinished(int result) override;
    void EngineCreateFailed() override;

    void BeginRun();
    bool StartFile(int row);
    void FailCurrentRow();
    void ContinueOrEnd(bool lastSucceeded);
    void ShowIdleButtons();
    void ShowSaveFolder();
    void RemovePartialOutput();
    QString Text(const char *key) const;

    MovieControls m_c;
    JobList &m_jobs;
    FileListCtrl &m_list;
    engine::EngineProcess &m_engine;
    const MovieSettings &m_settings;
    DriverTimings m_timings;
    QTimer m_timer;
    platform::PowerInhibit m_inhibit;
    engine::StatusCopy m_statusCopy;

    // Engine events carry the number of the launch they came from; older ones are dropped.
    std::atomic<quint64> m_generation{0};

    bool m_runStarted = false;
    bool m_fileActive = false;
    bool m_busy = false;
    bool m_createErrorShown = false;
    int m_totalFiles = -1;
    int m_currentRow = -1;
    int m_fileNumber = 0;
    int m_elapsedSeconds = 0;
    int m_stallTicks = 0;
    int m_graceCount = 0;
    double m_lastPosition = 0.0;
    float m_prevPosition = 0.0f;
    float m_speedFactor = 0.0f;
    QList<CompletedFile> m_completed;
    QString m_inputPath;
    QString m_outputPath;
    QString m_scratchPath;
    QDateTime m_launchTime;   // when the current file's engine was started
};
