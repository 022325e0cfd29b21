#pragma once

#include "image/image_job.h"

#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class DecodeBudget;

// One picture of a run: the list row it came from, its full path, and the name the list
// shows (file name with extension), from which the output name is made.
struct ImageBatchItem {
    int row = -1;
    QString sourcePath;
    QString listName;
};

// Everything a run needs, copied at its start: the worker shares nothing with the window.
struct ImageBatch {
    QList<ImageBatchItem> items; // the checked rows, in list order
    QSize box;                   // HD or SD target box
    int rotateSteps = 0;         // clockwise quarter turns (0 when rotation is off)
    QString outputFolder;        // ends with "/"
};

struct ConvertedPicture {
    int row = -1;
    QString sourcePath;
    QString outputPath;
};

// What a run did, for the end-of-run actions.
struct ImageRunResult {
    bool cancelled = false;
    int total = 0;                     // pictures in the batch
    int handled = 0;                   // pictures attempted before the run ended
    QList<ConvertedPicture> converted; // in row order; each output exists
    QList<int> failedRows;
    int convertedCount() const { return int(converted.size()); }
    int failedCount() const { return int(failedRows.size()); }
};
Q_DECLARE_METATYPE(ImageRunResult)

// Requests from the window thread, polled by the worker between pictures.
struct ImageRunFlags {
    std::atomic_bool stop{false};
    std::atomic_bool pause{false};
    // One per batch item: cleared when its row is unchecked during the run, so the worker
    // passes it by when it gets there. Sized before the worker starts.
    std::vector<std::atomic_bool> wanted;
    bool IsWanted(int item) const { return item < 0 || size_t(item) >= wanted.size() || wanted[size_t(item)]; }
};

// Converts the batch one picture after another. Lives on the run's own thread; holds no
// widget and no pointer into the window. Reports by signals carrying values, so that every
// connection to the window thread is queued. While it works on one picture, the next one is
// decoded on a helper thread that Run joins before it returns.
class ImageWorker : public QObject {
    Q_OBJECT
public:
    // The budget bounds the decoded pictures in flight; by default kImageRunBudgetBytes.
    ImageWorker(ImageBatch batch, std::shared_ptr<ImageRunFlags> flags, std::shared_ptr<DecodeBudget> budget = nullptr);

    // Runs the whole batch, then emits runEnded and quits the current thread's event loop.
    void Run();

signals:
    void progressChanged(int done, int total);
    void fileStarted(int row, const QString &outputPath);
    void fileConverted(int row, const QString &outputPath);
    void fileFailed(int row, ImageError error);
    // A row unchecked during the run was passed by; the run's total is one less.
    void fileSkipped(int row);
    void runEnded(const ImageRunResult &result);

private:
    // False when a stop was requested, also while waiting out a pause.
    bool WaitWhilePaused();

    ImageBatch m_batch;
    std::shared_ptr<ImageRunFlags> m_flags;
    std::shared_ptr<DecodeBudget> m_budget;
};

// Removes the hidden temporary pictures a killed run left in folder: regular files of exactly
// our writer's name pattern, never links. Returns how many went.
int RemoveStaleTemporaries(const QString &folder);
