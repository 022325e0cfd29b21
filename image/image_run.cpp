#include "image/image_run.h"

#include "image/image_progress.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>

ImageRun::ImageRun(QObject *parent)
    : Run(parent)
    , m_flags(std::make_shared<ImageRunFlags>())
{
    qRegisterMetaType<FileEnd>();
    qRegisterMetaType<RunSummary>();
    qRegisterMetaType<RunProgress>();
    // Set here, on the window thread, before any worker reads a picture.
    EnsureImageAllocationLimit();
    m_clock.setInterval(kClockPeriodMs);
    connect(&m_clock, &QTimer::timeout, this, &ImageRun::Tick);
}

ImageRun::~ImageRun()
{
    blockSignals(true);
    if (m_thread) {
        StopRun(RunEnd::Stopped);
        m_thread->wait();
        // The worker has gone, so all it reported is queued here: take it in, for the log.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    JoinThread();
    m_awake.Release();
}

void ImageRun::SetState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

bool ImageRun::Start(const RunRequest &request)
{
    if (IsActive() || m_thread || request.jobs.isEmpty())
        return false;

    m_flags->stop = false;
    m_flags->pause = false;
    m_flags->wanted = std::vector<std::atomic_bool>(size_t(request.jobs.size()));
    for (std::atomic_bool &wanted : m_flags->wanted)
        wanted = true;
    m_jobOfId.clear();
    for (int i = 0; i < request.jobs.size(); ++i)
        m_jobOfId.insert(request.jobs[i].id, i);
    m_summary = RunSummary{};
    m_log = RunLogEntry{QStringLiteral("image"), QDateTime::currentDateTime(), {}, {}, {}, {}};
    RunLog().Begin(m_log); // a log that cannot be written changes nothing else
    m_stopEnd.reset();
    m_done = 0;
    m_total = int(request.jobs.size());
    m_elapsed = 0;
    m_doneAt = 0.0;
    m_inWork = false;
    m_workClock.SetSource(m_clockSource);
    m_workClock.Start();
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("image worker"));
    m_worker = std::make_unique<ImageWorker>(request, m_flags);
    m_worker->moveToThread(m_thread.get());

    ImageWorker *worker = m_worker.get();
    connect(m_thread.get(), &QThread::started, worker, &ImageWorker::Run);
    connect(worker, &ImageWorker::progressChanged, this, &ImageRun::OnProgress);
    connect(worker, &ImageWorker::fileStarted, this, [this](int id, const QString &outputPath) {
        m_inWork = true;
        FollowWorker();
        emit fileStarted(id, outputPath);
        ShowProgress(); // the current picture from nothing
    });
    connect(worker, &ImageWorker::fileEnded, this, &ImageRun::OnFileEnded);
    connect(worker, &ImageWorker::runEnded, this, &ImageRun::OnWorkerEnded);

    m_awake.Acquire(QStringLiteral("Converting pictures"));
    // A pause asked for from here holds the worker before its first picture.
    SetState(State::Starting);
    m_clock.start();
    m_thread->start();
    return true;
}

// --- what the worker reports ---------------------------------------------------------------

void ImageRun::OnProgress(int done, int total)
{
    m_done = done;
    m_total = total;
    m_doneAt = m_workClock.Seconds();
    if (m_state == State::Starting)
        SetState(State::Converting);
    ShowProgress();
}

void ImageRun::OnFileEnded(const FileEnd &end)
{
    m_inWork = false;
    m_summary.files.append(end);
    m_log.files << RunLogFile{end, {}, {}};
    emit fileEnded(end);
    FollowWorker();
}

void ImageRun::ShowProgress()
{
    RunProgress progress;
    progress.fileNumber = std::min(m_done + 1, m_total);
    progress.totalFiles = m_total;
    progress.filesEnded = m_done;
    // Of the picture in work nothing is known until it is done.
    progress.currentPercent = m_inWork || m_done == 0 ? 0 : 100;
    progress.totalPercent = ProgressPercent(m_done, m_total);
    progress.elapsedSeconds = m_elapsed;
    progress.batchSecondsLeft = PicturesTimeLeft(m_done, m_total, m_doneAt, m_workClock.Seconds());
    emit progressChanged(progress);
}

void ImageRun::Tick()
{
    if (!IsActive() || m_state == State::Paused)
        return;
    ++m_elapsed;
    ShowProgress();
}

void ImageRun::OnWorkerEnded(bool stopped)
{
    JoinThread();
    m_awake.Release();
    m_clock.stop();
    m_flags->stop = false;
    m_flags->pause = false;
    // A stop always ends the run as stopped; a cancel that came once the last picture was in
    // work found nothing left to stop.
    m_summary.end = RunEnd::Finished;
    if (m_stopEnd && (stopped || *m_stopEnd == RunEnd::Stopped))
        m_summary.end = *m_stopEnd;
    m_summary.sourcesMayGo = true;
    m_log.ended = QDateTime::currentDateTime();
    m_log.end = m_summary.end;
    RunLog().Complete(m_log);
    SetState(State::Ended);
    emit runEnded(m_summary);
}

// --- requests ------------------------------------------------------------------------------

void ImageRun::Pause()
{
    if (m_state != State::Starting && m_state != State::Converting)
        return;
    m_flags->pause = true;
    SetState(State::Paused);
    FollowWorker();
}

void ImageRun::Resume()
{
    if (m_state != State::Paused)
        return;
    m_flags->pause = false;
    SetState(State::Converting);
    FollowWorker();
}

void ImageRun::Cancel() { StopRun(RunEnd::Cancelled); }

void ImageRun::Stop() { StopRun(RunEnd::Stopped); }

void ImageRun::StopRun(RunEnd end)
{
    if (!IsActive())
        return;
    // A close during a cancel still closes: the run ends as stopped.
    if (!m_stopEnd || end == RunEnd::Stopped)
        m_stopEnd = end;
    m_flags->stop = true;
    m_flags->pause = false;
    SetState(State::Stopping);
}

void ImageRun::SetJobWanted(int id, bool wanted)
{
    const int job = m_jobOfId.value(id, -1);
    if (IsActive() && job >= 0 && size_t(job) < m_flags->wanted.size())
        m_flags->wanted[size_t(job)] = wanted;
}

void ImageRun::FollowWorker()
{
    if (m_state == State::Paused && !m_inWork)
        m_workClock.Pause();
    else
        m_workClock.Resume();
}

void ImageRun::JoinThread()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    // The thread has ended, so its worker can be deleted from here.
    m_worker.reset();
    m_thread.reset();
}
