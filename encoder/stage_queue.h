#pragma once

// The pieces that let decoding, filtering and encoding overlap: each stage consumes items
// (packets or frames) and hands its results to the next; a ThreadHop between two stages
// runs the later one on a thread of its own behind a short bounded queue. Items move by
// ownership, so nothing is copied on the way.

#include "encoder/av_util.h"
#include "encoder/thread_priority.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace mencoder {

template <class T>
class Consumer {
public:
    virtual ~Consumer() = default;
    virtual void Put(T item) = 0; // throws Aborted when the run is being torn down
    virtual void End() = 0;       // no more items: flush and pass the end on
};

template <class T>
class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t capacity)
        : m_capacity(capacity)
    {
    }

    bool Push(T item)
    {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [this] { return m_items.size() < m_capacity || m_aborted; });
        if (m_aborted)
            return false;
        m_items.push_back(std::move(item));
        m_notEmpty.notify_one();
        return true;
    }

    // The next item; nullopt once closed and drained, or aborted.
    std::optional<T> Pop()
    {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [this] { return !m_items.empty() || m_closed || m_aborted; });
        if (m_aborted || m_items.empty())
            return std::nullopt;
        T item = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return item;
    }

    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_notEmpty.notify_all();
    }

    void Abort()
    {
        std::lock_guard lock(m_mutex);
        m_aborted = true;
        m_items.clear();
        m_notEmpty.notify_all();
        m_notFull.notify_all();
    }

    bool IsAborted() const
    {
        std::lock_guard lock(m_mutex);
        return m_aborted;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_notEmpty, m_notFull;
    std::deque<T> m_items;
    std::size_t m_capacity;
    bool m_closed = false;
    bool m_aborted = false;
};

// Runs `next` on its own thread. Before each item it passes the gate, which sleeps while the
// run is paused and returns false once it is stopped, so a pause holds every stage between
// frames rather than only the reader. A failure is handed to onFailure (which aborts the
// whole run); the thread then ends. Once `yieldFlag` (if given) is set, the thread yields to
// the video encoder.
template <class T>
class ThreadHop : public Consumer<T> {
public:
    ThreadHop(Consumer<T> &next, std::size_t depth, std::function<bool()> gate,
              std::function<void(std::exception_ptr)> onFailure, const std::atomic<bool> *yieldFlag = nullptr)
        : m_next(next)
        , m_queue(depth)
        , m_gate(std::move(gate))
        , m_onFailure(std::move(onFailure))
        , m_yieldFlag(yieldFlag)
    {
        m_thread = std::thread([this] { Loop(); });
    }
    ~ThreadHop() override
    {
        Abort();
        Join();
    }

    void Put(T item) override
    {
        if (!m_queue.Push(std::move(item)))
            throw Aborted{};
    }
    void End() override { m_queue.Close(); }
    void Abort() { m_queue.Abort(); }
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void Loop()
    {
        try {
            bool yielded = false;
            while (auto item = m_queue.Pop()) {
                if (!m_gate())
                    return;
                if (!yielded && m_yieldFlag && m_yieldFlag->load(std::memory_order_relaxed)) {
                    YieldToEncoder();
                    yielded = true;
                }
                m_next.Put(std::move(*item));
            }
            if (!m_queue.IsAborted())
                m_next.End();
        } catch (const Aborted &) {
        } catch (...) {
            m_onFailure(std::current_exception());
        }
    }

    Consumer<T> &m_next;
    BoundedQueue<T> m_queue;
    std::function<bool()> m_gate;
    std::function<void(std::exception_ptr)> m_onFailure;
    const std::atomic<bool> *m_yieldFlag;
    std::thread m_thread;
};

} // namespace mencoder
