#include "image/image_worker.h"

#include "image/decode_budget.h"
#include "platform/native_name.h"
#include "shell/output_folder.h"

#include <QRegularExpression>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// A picture made ready to write and the share of the run's budget it took (-1: none taken).
struct HeldPicture {
    EncodedPicture picture;
    qint64 bytes = -1;
};

} // namespace

ImageWorker::ImageWorker(RunRequest request, std::shared_ptr<ImageRunFlags> flags, std::shared_ptr<DecodeBudget> budget)
    : m_request(std::move(request))
    , m_flags(std::move(flags))
    , m_budget(budget ? std::move(budget) : std::make_shared<DecodeBudget>(kImageRunBudgetBytes))
{
}

int RemoveStaleTemporaries(const QString &folder)
{
    // Exactly the names our writer gives its hidden temporary files (QTemporaryFile's six
    // letters or digits); a user's ".framepress-notes.part" is not ours.
    static const QRegularExpression ours(QStringLiteral("^\\.framepress-[A-Za-z0-9]{6}\\.part$"));
    int removed = 0;
    for (const QString &name : platform::FolderNames(folder)) {
        const QString path = folder + QLatin1Char('/') + name;
        // Only regular files: a link of that name is removed neither itself nor its target.
        const platform::NameInfo info = platform::StatName(path);
        if (!ours.match(name).hasMatch() || info.isLink || !info.isFile)
            continue;
        removed += ::unlink(platform::NativeName(path).constData()) == 0 ? 1 : 0;
    }
    return removed;
}

bool ImageWorker::WaitWhilePaused()
{
    if (m_flags->stop)
        return false;
    while (m_flags->pause) {
        if (m_flags->stop)
            return false;
        QThread::msleep(10);
    }
    return !m_flags->stop;
}

void ImageWorker::Run()
{
    const int count = int(m_request.jobs.size());
    int total = count; // less the rows passed by
    int handled = 0;
    bool stopped = false;
    // Outputs never land beside the program because a folder went missing from the settings:
    // a folder that is not valid (a relative one) fails every picture. One removed since it
    // was chosen is made again.
    const OutputFolder &folder = m_request.outputFolder;
    const bool folderUsable = folder.IsValid();
    if (folderUsable) {
        folder.Make();
        // Where the file system has no unnamed files (vfat, exFAT, network shares) a run that
        // was killed mid-write left its hidden temporary picture; only one run writes at a time.
        RemoveStaleTemporaries(folder.Text());
    }
    const ImageConvertOptions options{m_request.box, m_request.rotateSteps};
    EnsureImageAllocationLimit();

    // A picture is made (decoded, resampled, encoded) on a thread of its own, one core each: two
    // are made at once, together within the run's budget, and a core that is done starts the
    // next picture even while the one before it is still being made, up to two pictures ahead of
    // the one to write. This thread only names and writes them, strictly in list order. Once the
    // run stops, a picture not yet begun is skipped and one being made is waited for and thrown
    // away.
    constexpr int kAtOnce = 2, kAhead = 3;
    struct Pictures {
        std::mutex mutex;
        std::condition_variable ended;
        int making = 0;
        std::vector<char> made, deferred;
    };
    const auto pictures = std::make_shared<Pictures>();
    pictures->made.assign(size_t(std::max(count, 0)), 0);
    pictures->deferred.assign(size_t(std::max(count, 0)), 0);
    std::vector<std::future<HeldPicture>> loads(size_t(std::max(count, 0)));
    const auto abandoned = std::make_shared<std::atomic_bool>(false);
    const std::shared_ptr<DecodeBudget> budget = m_budget;
    int launched = 0;
    // Under pictures->mutex. Beyond the picture to write next, nothing starts while the run is
    // paused or stopping.
    auto launchFor = [&](int next) {
        while (folderUsable && launched < std::min(next + kAhead, count)
               && (launched <= next || (pictures->making < kAtOnce && !m_flags->pause && !m_flags->stop))) {
            auto load = [path = m_request.jobs[launched].sourcePath, turn = launched, options, abandoned, budget,
                         flags = m_flags] {
                HeldPicture held;
                held.picture.error = ImageError::Unreadable;
                auto take = [&](qint64 bytes) {
                    if (*abandoned || !budget->Take(turn, bytes))
                        return false;
                    held.bytes = bytes;
                    return true;
                };
                // A row unchecked before it is made still takes its turn, with nothing, so that
                // the turns after it go on.
                if (flags->IsWanted(turn) && !*abandoned)
                    held.picture = EncodePicture(LoadPicture(path, options, take));
                else
                    take(0);
                return held;
            };
            try {
                loads[size_t(launched)] = std::async(std::launch::async, [load, pictures, turn = launched] {
                    struct Ended { // also when the making throws
                        Pictures &p;
                        int turn;
                        ~Ended()
                        {
                            {
                                std::lock_guard lock(p.mutex);
                                p.made[size_t(turn)] = 1;
                                --p.making;
                            }
                            p.ended.notify_all();
                        }
                    } ended{*pictures, turn};
                    return load();
                });
                ++pictures->making;
            } catch (const std::system_error &) {
                // No thread to be had: made on this thread when its turn comes instead.
                loads[size_t(launched)] = std::async(std::launch::deferred, load);
                pictures->deferred[size_t(launched)] = 1;
            }
            ++launched;
        }
    };
    // Picture i, starting the next ones whenever a core is free meanwhile.
    auto collect = [&](int i) {
        std::unique_lock lock(pictures->mutex);
        launchFor(i);
        while (!pictures->deferred[size_t(i)] && !pictures->made[size_t(i)]) {
            pictures->ended.wait(lock);
            launchFor(i);
        }
        lock.unlock();
        return loads[size_t(i)].get();
    };

    emit progressChanged(0, total);
    for (int i = 0; i < count; ++i) {
        const RunJob &job = m_request.jobs[i];
        if (!WaitWhilePaused()) {
            stopped = true;
            break;
        }
        // The list stays live during a run: a row unchecked since is passed by.
        if (!m_flags->IsWanted(i)) {
            if (folderUsable) {
                const HeldPicture held = collect(i);
                if (held.bytes >= 0)
                    budget->Give(held.bytes);
            }
            --total;
            emit fileSkipped(job.id);
            emit progressChanged(handled, total);
            continue;
        }
        QString output = MakeImageOutputPath(folder, job.sourcePath);
        emit fileStarted(job.id, output);
        ImageError error = ImageError::WriteFailed;
        if (folderUsable) {
            HeldPicture held = collect(i);
            error = WritePicture(held.picture, output);
            // Another program took the name between choosing and writing: choose again.
            for (int retry = 0; error == ImageError::OutputTaken && retry < 8; ++retry) {
                output = MakeImageOutputPath(folder, job.sourcePath);
                error = WritePicture(held.picture, output);
            }
            held.picture = {};
            if (held.bytes >= 0)
                budget->Give(held.bytes);
        }
        ++handled;
        const bool done = error == ImageError::None;
        emit fileEnded({job.id, job.sourcePath, output, done ? Outcome::Done : Outcome::Failed,
                        done ? Reason{} : Reason::Image(int(error))});
        emit progressChanged(handled, total);
    }
    *abandoned = true;
    budget->Abandon();
    // Waiting on a deferred decode would run it; only the running ones are joined.
    for (std::future<HeldPicture> &load : loads) {
        if (load.valid() && load.wait_for(std::chrono::seconds(0)) != std::future_status::deferred)
            load.wait();
    }
    emit runEnded(stopped);
    QThread::currentThread()->quit();
}
