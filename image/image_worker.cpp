#include "image/image_worker.h"

#include <QDir>
#include <QThread>

#include <chrono>
#include <future>
#include <system_error>
#include <vector>

ImageWorker::ImageWorker(ImageBatch batch, std::shared_ptr<ImageRunFlags> flags)
    : m_batch(std::move(batch))
    , m_flags(std::move(flags))
{
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
    ImageRunResult result;
    result.total = int(m_batch.items.size());
    // Outputs never land beside the program because a folder went missing from the settings:
    // a relative folder fails every picture. One removed since it was chosen is made again.
    QString folder = QDir::fromNativeSeparators(m_batch.outputFolder);
    const bool folderUsable = QDir::isAbsolutePath(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (folderUsable)
        QDir().mkpath(folder);
    const ImageConvertOptions options{m_batch.box, m_batch.rotateSteps};
    EnsureImageAllocationLimit();

    // Decoding is most of the work and a decode uses one core, so each picture is decoded on a
    // thread of its own and the next one's decode starts while the current one still decodes or
    // is written: at most two pictures are held at once. Reports, names and outputs still go
    // strictly in list order. Once the run stops, a decode not yet begun is skipped and one
    // running is waited for; their pictures are thrown away.
    const int count = int(m_batch.items.size());
    std::vector<std::future<LoadedPicture>> loads(size_t(std::max(count, 0)));
    const auto abandoned = std::make_shared<std::atomic_bool>(false);
    int launched = 0;
    auto launchUpTo = [&](int end) {
        for (; folderUsable && launched < std::min(end, count); ++launched) {
            auto load = [path = m_batch.items[launched].sourcePath, options, abandoned] {
                return *abandoned ? LoadedPicture{ImageError::Unreadable, {}, {}, 0, {}}
                                  : LoadPicture(path, options);
            };
            try {
                loads[size_t(launched)] = std::async(std::launch::async, load);
            } catch (const std::system_error &) {
                // No thread to be had: decode when the picture's turn comes instead.
                loads[size_t(launched)] = std::async(std::launch::deferred, load);
            }
        }
    };

    emit progressChanged(0, result.total);
    for (int i = 0; i < count; ++i) {
        const ImageBatchItem &item = m_batch.items[i];
        if (!WaitWhilePaused()) {
            result.cancelled = true;
            break;
        }
        launchUpTo(i + 2);
        QString output = MakeImageOutputPath(folder, item.listName);
        emit fileStarted(item.row, output);
        ImageError error = ImageError::WriteFailed;
        if (folderUsable) {
            const LoadedPicture picture = loads[size_t(i)].get();
            error = FinishPicture(picture, output);
            // Another program took the name between choosing and writing: choose again.
            for (int retry = 0; error == ImageError::OutputTaken && retry < 8; ++retry) {
                output = MakeImageOutputPath(folder, item.listName);
                error = FinishPicture(picture, output);
            }
        }
        ++result.handled;
        if (error == ImageError::None) {
            result.converted.append({item.row, item.sourcePath, output});
            emit fileConverted(item.row, output);
        } else {
            result.failedRows.append(item.row);
            emit fileFailed(item.row, error);
        }
        emit progressChanged(result.handled, result.total);
    }
    *abandoned = true;
    // Waiting on a deferred decode would run it; only the running ones are joined.
    for (std::future<LoadedPicture> &load : loads) {
        if (load.valid() && load.wait_for(std::chrono::seconds(0)) != std::future_status::deferred)
            load.wait();
    }
    emit runEnded(result);
    QThread::currentThread()->quit();
}
