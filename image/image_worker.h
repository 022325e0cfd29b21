#pragma once

#include "image/image_job.h"
#include "run/run.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class DecodeBudget;

// Requests from the window thread, polled by the worker between pictures.
struct ImageRunFlags {
    std::atomic_bool stop{false};
    std::atomic_bool pause{false};
    // One per batch item: cleared when its row is unchecked during the run, so the worker
    // passes it by when it gets there. Sized before the worker starts.
    std::vector<std::atomic_bool> wanted;
    bool IsWanted(int item) const { return item < 0 || size_t(item) >= wanted.size() || wanted[size_t(item)]; }
};

// Converts the request's jobs one picture after another, into its box, turned by its quarter
// turns, into its output folder. Lives on the run's own thread; holds no widget and no pointer
// into the window. Reports by signals carrying values, so that every connection to the window
// thread is queued. The pictures are made on helper threads, two at once, which Run joins
// before it returns; it writes them itself, in list order.
class ImageWorker : public QObject {
    Q_OBJECT
public:
    // The budget bounds the decoded pictures in flight; by default kImageRunBudgetBytes.
    ImageWorker(RunRequest request, std::shared_ptr<ImageRunFlags> flags,
                std::shared_ptr<DecodeBudget> budget = nullptr);

    // Runs every job, then emits runEnded and quits the current thread's event loop.
    void Run();

signals:
    void progressChanged(int done, int total);
    void fileStarted(int id, const QString &outputPath);
    // Done with the output written, or Failed with the ImageError as its reason.
    void fileEnded(const FileEnd &end);
    // A row unchecked during the run was passed by; the run's total is one less.
    void fileSkipped(int id);
    // stopped: a stop request ended it before every job was handled.
    void runEnded(bool stopped);

private:
    // False when a stop was requested, also while waiting out a pause.
    bool WaitWhilePaused();

    RunRequest m_request;
    std::shared_ptr<ImageRunFlags> m_flags;
    std::shared_ptr<DecodeBudget> m_budget;
};

// Removes the hidden temporary pictures a killed run left in folder: regular files of exactly
// our writer's name pattern, never links. Returns how many went.
int RemoveStaleTemporaries(const QString &folder);
