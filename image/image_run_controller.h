#pragma once

#include "image/image_worker.h"
#include "platform/power_inhibit.h"
#include "run/run_log.h"
#include "run/run_outcome.h"

#include <QHash>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <memory>

// Owns one image run at a time: its thread, its worker, the stop and pause requests, the
// elapsed clock and the lock that keeps the machine from sleeping while it runs. Lives on the
// window thread; every signal arrives there.
class ImageRunController : public QObject {
    Q_OBJECT
public:
    enum class StartResult { Started, NoFile, AlreadyRunning };

    explicit ImageRunController(QObject *parent = nullptr);
    ~ImageRunController() override; // stops a run and waits for its thread

    // NoFile when the batch is empty (the page shows IDS_MESSAGEBOX_NO_FILE).
    StartResult Start(const ImageBatch &batch);
    // Take effect between pictures; the picture in work is finished first.
    void Pause();
    void Resume();
    void Cancel(); // stop request set, pause request cleared
    // The page's list stays live: a row unchecked before the worker reaches it is passed by.
    void SetRowChecked(int row, bool checked);
    // For the application's exit: cancels and waits until the picture in work is done. The
    // run's end signal still arrives if the event loop runs again.
    void StopAndWait();

    bool IsConverting() const { return m_thread != nullptr; }
    bool IsPaused() const { return m_flags->pause; }
    // The value the next clock tick shows (1 at the start of a run).
    int ElapsedCounter() const { return m_elapsed; }

    static constexpr int kClockTimerId = 8000; // the page's elapsed-time timer
    static constexpr int kClockPeriodMs = 1000;

signals:
    // Emitted inside Start before the worker's thread starts: a Pause() from here holds the
    // worker before its first picture.
    void runStarted(int total);
    // After every picture, and once with done = 0 at the start.
    void progressChanged(int percent, int done, int total);
    void fileStarted(int row, const QString &outputPath);
    void fileConverted(int row, const QString &outputPath);
    void fileFailed(int row, ImageError error);
    // Once a second while not paused; show ElapsedText(seconds).
    void elapsedChanged(int seconds);
    // The run's time left at the pace so far, after each picture and each second; -1 until known.
    void timeLeftChanged(int seconds);
    // Each picture's end, in one shape with the movie run's.
    void fileEnded(const FileEnd &end);
    // The thread is gone when these arrive; IsConverting() is false.
    void runCancelled(const ImageRunResult &result);
    void runFinished(const ImageRunResult &result);
    // After either of the two above; Stopped when StopAndWait ended it.
    void runEnded(const RunSummary &summary);

public slots:
    // The clock's tick, public so that the page's clock can be driven by hand.
    void OnClockTick();

private:
    void OnRunEnded(const ImageRunResult &result);
    void EndFile(int row, Outcome outcome, Reason reason);
    void JoinThread();

    std::shared_ptr<ImageRunFlags> m_flags;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<ImageWorker> m_worker;
    QTimer m_clock;
    platform::PowerInhibit m_awake;
    int m_elapsed = 1;
    int m_done = 0;
    int m_total = 0;
    int m_doneAt = 0; // seconds of the run when the last picture was done
    QList<ImageBatchItem> m_items;
    QHash<int, int> m_itemOfRow;
    QString m_output; // of the picture in work
    RunSummary m_summary;
    RunLogEntry m_log;
    bool m_stopping = false;
};
