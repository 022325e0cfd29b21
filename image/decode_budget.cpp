#include "image/decode_budget.h"

#include <algorithm>

bool DecodeBudget::Take(int turn, qint64 bytes)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(
        lock, [&] { return m_abandoned || (turn == m_nextTurn && (m_held + bytes <= m_limit || m_holders == 0)); });
    if (m_abandoned)
        return false;
    m_held += bytes;
    m_peak = std::max(m_peak, m_held);
    ++m_holders;
    ++m_nextTurn;
    m_changed.notify_all();
    return true;
}

void DecodeBudget::Give(qint64 bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_held -= bytes;
        --m_holders;
    }
    m_changed.notify_all();
}

void DecodeBudget::Abandon()
{
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
    }
    m_changed.notify_all();
}

qint64 DecodeBudget::Held() const
{
    std::lock_guard lock(m_mutex);
    return m_held;
}

qint64 DecodeBudget::Peak() const
{
    std::lock_guard lock(m_mutex);
    return m_peak;
}
