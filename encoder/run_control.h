#pragma once

// What the commander of a run (the pipe link or the signal watcher, on the main thread) and
// the conversion threads share: the paused and stop states and the progress figures.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace mencoder {

class RunControl {
public:
    void SetPaused(bool paused)
    {
        {
            std::lock_guard lock(m_mutex);
            m_paused = paused;
        }
        m_cv.notify_all();
    }

    bool IsPaused() const
    {
        std::lock_guard lock(m_mutex);
        return m_paused;
    }

    // Ends the run at once: the hook aborts every queue, so no thread waits on another.
    void RequestStop()
    {
        // The hook runs under the lock, so that clearing it waits for a call in progress.
        std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        m_stop = true;
        m_stopFlag = true;
        m_cv.notify_all();
        if (m_stopHook)
            m_stopHook();
    }

    bool StopRequested() const { return m_stopFlag; }

    // Sleeps, without using the processor, while paused; false once a stop is requested.
    bool WaitWhilePaused()
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_paused || m_stop; });
        return !m_stop;
    }

    // Set by the conversion for the length of the run; called on the stopping thread.
    void SetStopHook(std::function<void()> hook)
    {
        std::lock_guard lock(m_mutex);
        m_stopHook = std::move(hook);
        if (m_stop && m_stopHook)
            m_stopHook();
    }

    // Seconds of the source done, and the share of the file done (0-100).
    std::atomic<double> position{0.0};
    std::atomic<int> percent{0};

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_paused = false;
    bool m_stop = false;
    std::atomic<bool> m_stopFlag{false}; // lock-free copy for the input's interrupt check
    std::function<void()> m_stopHook;
};

} // namespace mencoder
