#include "image/image_worker.h"

#include <QDir>
#include <QThread>

#include <future>
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

    // Decoding is most of the work and one picture's decoding uses one core, so the next
    // picture is decoded on its own thread while this one decodes and is written: at most two
    // pictures are held at once. Reports, names and outputs still go strictly in list order;
    // a decode running when the run stops is waited for and thrown away.
    const int count = int(m_batch.items.size());
    std::vector<std::future<LoadedPicture>> loads(size_t(std::max(count, 0)));
    int launched = 0;
    auto launchUpTo = [&](int end) {
        for (; folderUsable && launched < std::min(end, count); ++launched) {
            loads[size_t(launched)] = std::async(
                std::launch::async,
                [path = m_batch.items[launched].sourcePath, options, flags = m_flags] {
                    return flags->stop ? LoadedPicture{ImageError::Unreadable, {}, {}, 0}
                                       : LoadPicture(path, options);
                });
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
    for (std::future<LoadedPicture> &load : loads) {
        if (load.valid())
            load.wait();
    }
    emit runEnded(result);
    QThread::currentThread()->quit();
}
