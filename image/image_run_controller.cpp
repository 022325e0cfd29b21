#include "image/image_run_controller.h"

#include "image/image_progress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

ImageEndActions DecideEndActions(bool cancelled, bool deleteChecked, bool powerOffChecked)
{
    ImageEndActions actions;
    if (cancelled)
        return actions;
    actions.deleteSources = deleteChecked;
    actions.powerOff = powerOffChecked;
    actions.showEndMessage = !powerOffChecked;
    return actions;
}

QList<RemovedSource> RemoveConvertedSources(const QList<ConvertedPicture> &converted)
{
    // Qt makes only the last level of the home trash; when the data folder itself is missing
    // (a fresh account) it moves files into "files/" under the current folder instead.
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Trash/");
    QDir().mkpath(trash + QStringLiteral("files"));
    QDir().mkpath(trash + QStringLiteral("info"));

    QList<RemovedSource> removed;
    for (const ConvertedPicture &picture : converted) {
        const QFileInfo output(picture.outputPath);
        if (!output.isFile() || output.size() <= 0 || !QFileInfo::exists(picture.sourcePath))
            continue;
        QFile source(picture.sourcePath);
        if (source.moveToTrash() || source.remove())
            removed.append({picture.row, picture.sourcePath});
    }
    return removed;
}

ImageRunController::ImageRunController(QObject *parent)
    : QObject(parent)
    , m_flags(std::make_shared<ImageRunFlags>())
{
    qRegisterMetaType<ImageError>();
    qRegisterMetaType<ImageRunResult>();
    // Set here, on the window thread, before any worker reads a picture.
    EnsureImageAllocationLimit();
    m_clock.setInterval(kClockPeriodMs);
    connect(&m_clock, &QTimer::timeout, this, &ImageRunController::OnClockTick);
}

ImageRunController::~ImageRunController()
{
    StopAndWait();
    JoinThread();
    m_awake.Release();
}

ImageRunController::StartResult ImageRunController::Start(const ImageBatch &batch)
{
    if (IsConverting())
        return StartResult::AlreadyRunning;
    if (batch.items.isEmpty())
        return StartResult::NoFile;

    m_flags->stop = false;
    m_flags->pause = false;
    m_elapsed = 1;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("image worker"));
    m_worker = std::make_unique<ImageWorker>(batch, m_flags);
    m_worker->moveToThread(m_thread.get());

    ImageWorker *worker = m_worker.get();
    connect(m_thread.get(), &QThread::started, worker, &ImageWorker::Run);
    connect(worker, &ImageWorker::progressChanged, this, [this](int done, int total) {
        emit progressChanged(ProgressPercent(done, total), done, total);
    });
    connect(worker, &ImageWorker::fileStarted, this, &ImageRunController::fileStarted);
    connect(worker, &ImageWorker::fileConverted, this, &ImageRunController::fileConverted);
    connect(worker, &ImageWorker::fileFailed, this, &ImageRunController::fileFailed);
    connect(worker, &ImageWorker::runEnded, this, &ImageRunController::OnRunEnded);

    emit runStarted(int(batch.items.size()));
    m_awake.Acquire(QStringLiteral("Converting pictures"));
    m_clock.start();
    m_thread->start();
    return StartResult::Started;
}

void ImageRunController::Pause()
{
    if (IsConverting())
        m_flags->pause = true;
}

void ImageRunController::Resume()
{
    m_flags->pause = false;
}

void ImageRunController::Cancel()
{
    if (!IsConverting())
        return;
    m_flags->stop = true;
    m_flags->pause = false;
}

void ImageRunController::StopAndWait()
{
    if (!m_thread)
        return;
    Cancel();
    m_thread->wait();
}

void ImageRunController::OnClockTick()
{
    if (m_flags->pause)
        return;
    emit elapsedChanged(m_elapsed);
    ++m_elapsed;
}

void ImageRunController::JoinThread()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    // The thread has ended, so its worker can be deleted from here.
    m_worker.reset();
    m_thread.reset();
}

void ImageRunController::OnRunEnded(const ImageRunResult &result)
{
    JoinThread();
    m_awake.Release();
    m_clock.stop();
    m_elapsed = 1;
    m_flags->stop = false;
    m_flags->pause = false;
    if (result.cancelled)
        emit runCancelled(result);
    else
        emit runFinished(result);
}
