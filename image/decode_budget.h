#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

// The bytes of decoded pictures a run holds at once. Pictures take their share in list order
// (turn 0, 1, 2 …), so that a large one is never passed by those after it; one that would
// pass the budget waits until enough is given back, and one larger than the whole budget
// waits until it is the only one held. Shared by the run's worker thread, which gives back,
// and its decode threads, which take.
class DecodeBudget {
public:
    explicit DecodeBudget(qint64 limit)
        : m_limit(limit)
    {
    }

    // Waits for this turn and for room; false once the run is abandoned. Every turn is taken
    // exactly once, even by a picture that turns out unreadable (with 0 bytes).
    bool Take(int turn, qint64 bytes);
    void Give(qint64 bytes);
    // Wakes every waiter with false: the run has stopped.
    void Abandon();

    qint64 Held() const;
    qint64 Peak() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    const qint64 m_limit;
    qint64 m_held = 0;
    qint64 m_peak = 0;
    int m_holders = 0;
    int m_nextTurn = 0;
    bool m_abandoned = false;
};
