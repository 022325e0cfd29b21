#include "run/run_clock.h"

qint64 RunClock::NowMs() const { return m_source ? m_source() : m_monotonic.elapsed(); }

void RunClock::Start()
{
    m_monotonic.start();
    m_startMs = NowMs();
    m_pausedMs = 0;
    m_pausedAt = -1;
}

void RunClock::Pause()
{
    if (m_pausedAt < 0)
        m_pausedAt = NowMs();
}

void RunClock::Resume()
{
    if (m_pausedAt < 0)
        return;
    m_pausedMs += NowMs() - m_pausedAt;
    m_pausedAt = -1;
}

double RunClock::Seconds() const
{
    const qint64 now = m_pausedAt >= 0 ? m_pausedAt : NowMs();
    return double(now - m_startMs - m_pausedMs) / 1000.0;
}
