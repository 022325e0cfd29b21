#include "image/image_worker.h"

#include <QDir>
#include <QThread>

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

    emit progressChanged(0, result.total);
    for (const ImageBatchItem &item : std::as_const(m_batch.items)) {
        if (!WaitWhilePaused()) {
            result.cancelled = true;
            break;
        }
        QString output = MakeImageOutputPath(folder, item.listName);
        emit fileStarted(item.row, output);
        ImageError error = folderUsable ? ConvertImage(item.sourcePath, output, options)
                                        : ImageError::WriteFailed;
        // Another program took the name between choosing and writing: choose again.
        for (int retry = 0; error == ImageError::OutputTaken && retry < 8; ++retry) {
            output = MakeImageOutputPath(folder, item.listName);
            error = ConvertImage(item.sourcePath, output, options);
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
    emit runEnded(result);
    QThread::currentThread()->quit();
}
