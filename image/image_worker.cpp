#include "image/image_worker.h"

#include "image/decode_budget.h"
#include "platform/native_name.h"
#include "shell/output_folder.h"

#include <QRegularExpression>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
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

    // Pictures are made (decoded, resampled, encoded) by two threads of their own, a core each,
    // together within the run's budget: a maker that is done takes the next picture at once, up
    // to two ahead of the one to write. This thread only names and writes them, strictly in list
    // order. Makers that live for the whole run keep their cores; a thread started for each
    // picture was often placed beside a busy one and waited for the scheduler to move it. Once
    // the run stops, a picture not yet begun is skipped and one being made is waited for and
    // thrown away.
    constexpr int kMakers = 2, kAhead = 3;
    struct Pictures {
        std::mutex mutex;
        std::condition_variable changed;
        int next = 0;  // the next picture a maker takes
        int limit = 0; // makers take pictures below it
        bool quit = false;
        std::vector<std::optional<HeldPicture>> made;
    } pictures;
    pictures.made.resize(size_t(std::max(count, 0)));
    std::atomic_bool abandoned = false;
    DecodeBudget &budget = *m_budget;
    auto make = [&](int turn) {
        HeldPicture held;
        held.picture.error = ImageError::Unreadable;
        auto take = [&](qint64 bytes) {
            if (abandoned || !budget.Take(turn, bytes))
                return false;
            held.bytes = bytes;
            return true;
        };
        try {
            // A row unchecked before it is made still takes its turn, with nothing, so that the
            // turns after it go on.
            if (m_flags->IsWanted(turn) && !abandoned)
                held.picture = EncodePicture(LoadPicture(m_request.jobs[turn].sourcePath, options, take));
            else
                take(0);
        } catch (const std::bad_alloc &) {
            held.picture = {};
            held.picture.error = ImageError::TooLarge;
        }
        return held;
    };
    std::vector<std::thread> makers;
    for (int m = 0; folderUsable && m < std::min(kMakers, count); ++m) {
        try {
            makers.emplace_back([&] {
                std::unique_lock lock(pictures.mutex);
                for (;;) {
                    pictures.changed.wait(lock, [&] { return pictures.quit || pictures.next < pictures.limit; });
                    if (pictures.quit)
                        return;
                    const int turn = pictures.next++;
                    lock.unlock();
                    HeldPicture held = make(turn);
                    lock.lock();
                    pictures.made[size_t(turn)] = std::move(held);
                    pictures.changed.notify_all();
                }
            });
        } catch (const std::system_error &) {
            break; // no thread to be had: this thread makes what the others do not
        }
    }
    // Picture i. Beyond it, nothing new starts while the run is paused or stopping.
    auto collect = [&](int i) {
        if (makers.empty())
            return make(i);
        std::unique_lock lock(pictures.mutex);
        const bool going = !m_flags->pause && !m_flags->stop;
        pictures.limit = std::max(pictures.limit, going ? std::min(i + kAhead, count) : i + 1);
        pictures.changed.notify_all();
        pictures.changed.wait(lock, [&] { return pictures.made[size_t(i)].has_value(); });
        return *std::exchange(pictures.made[size_t(i)], std::nullopt);
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
                    budget.Give(held.bytes);
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
                budget.Give(held.bytes);
        }
        ++handled;
        const bool done = error == ImageError::None;
        emit fileEnded({job.id, job.sourcePath, output, done ? Outcome::Done : Outcome::Failed,
                        done ? Reason{} : Reason::Image(int(error))});
        emit progressChanged(handled, total);
    }
    abandoned = true;
    budget.Abandon();
    {
        std::lock_guard lock(pictures.mutex);
        pictures.quit = true;
    }
    pictures.changed.notify_all();
    for (std::thread &maker : makers)
        maker.join();
    emit runEnded(stopped);
    QThread::currentThread()->quit();
}
