#include "image/image_run_controller.h"

#include "image/image_progress.h"

#include <QDateTime>

ImageRunController::ImageRunController(QObject *parent)
    : QObject(parent)
    , m_flags(std::make_shared<ImageRunFlags>())
{
    qRegisterMetaType<ImageError>();
    qRegisterMetaType<ImageRunResult>();
    qRegisterMetaType<FileEnd>();
    qRegisterMetaType<RunSummary>();
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
    m_flags->wanted = std::vector<std::atomic_bool>(size_t(batch.items.size()));
    for (std::atomic_bool &wanted : m_flags->wanted)
        wanted = true;
    m_items = batch.items;
    m_itemOfRow.clear();
    for (int i = 0; i < m_items.size(); ++i)
        m_itemOfRow.insert(m_items[i].row, i);
    m_summary = RunSummary{};
    m_log = RunLogEntry{QStringLiteral("image"), QDateTime::currentDateTime(), {}, RunEnd::Finished, {}};
    m_stopping = false;
    m_elapsed = 1;
    m_done = 0;
    m_doneAt = 0;
    m_total = int(batch.items.size());
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("image worker"));
    m_worker = std::make_unique<ImageWorker>(batch, m_flags);
    m_worker->moveToThread(m_thread.get());

    ImageWorker *worker = m_worker.get();
    connect(m_thread.get(), &QThread::started, worker, &ImageWorker::Run);
    connect(worker, &ImageWorker::progressChanged, this, [this](int done, int total) {
        m_done = done;
        m_total = total;
        m_doneAt = m_elapsed - 1;
        emit progressChanged(ProgressPercent(done, total), done, total);
        emit timeLeftChanged(PicturesTimeLeft(m_done, m_total, m_doneAt, m_doneAt));
    });
    connect(worker, &ImageWorker::fileStarted, this, [this](int row, const QString &outputPath) {
        m_output = outputPath;
        emit fileStarted(row, outputPath);
    });
    connect(worker, &ImageWorker::fileConverted, this, [this](int row, const QString &outputPath) {
        m_output = outputPath;
        emit fileConverted(row, outputPath);
        EndFile(row, Outcome::Done, Reason{});
    });
    connect(worker, &ImageWorker::fileFailed, this, [this](int row, ImageError error) {
        emit fileFailed(row, error);
        EndFile(row, Outcome::Failed, Reason::Image(int(error)));
    });
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

void ImageRunController::Resume() { m_flags->pause = false; }

void ImageRunController::Cancel()
{
    if (!IsConverting())
        return;
    m_flags->stop = true;
    m_flags->pause = false;
}

void ImageRunController::SetRowChecked(int row, bool checked)
{
    const int item = m_itemOfRow.value(row, -1);
    if (item >= 0 && size_t(item) < m_flags->wanted.size())
        m_flags->wanted[size_t(item)] = checked;
}

void ImageRunController::EndFile(int row, Outcome outcome, Reason reason)
{
    const int item = m_itemOfRow.value(row, -1);
    const QString source = item >= 0 ? m_items[item].sourcePath : QString();
    const FileEnd end{row, source, m_output, outcome, reason};
    m_summary.files.append(end);
    m_log.files << RunLogFile{end, {}, {}};
    emit fileEnded(end);
}

void ImageRunController::StopAndWait()
{
    if (!m_thread)
        return;
    m_stopping = true;
    Cancel();
    m_thread->wait();
}

void ImageRunController::OnClockTick()
{
    if (m_flags->pause)
        return;
    emit elapsedChanged(m_elapsed);
    if (m_done > 0)
        emit timeLeftChanged(PicturesTimeLeft(m_done, m_total, m_doneAt, m_elapsed));
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
    m_summary.end = m_stopping ? RunEnd::Stopped : result.cancelled ? RunEnd::Cancelled : RunEnd::Finished;
    m_summary.sourcesMayGo = true;
    m_stopping = false;
    m_log.ended = QDateTime::currentDateTime();
    m_log.end = m_summary.end;
    RunLog().Append(m_log); // a log that cannot be written changes nothing else
    emit runEnded(m_summary);
}
