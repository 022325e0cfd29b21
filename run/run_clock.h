#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

#include <functional>

// The seconds of a run with its pauses left out, which both runs' time left is measured in, so
// that a pause neither moves nor spoils it. Reads a monotonic clock, or the one a test feeds
// (milliseconds). Lives on its run's thread.
class RunClock {
public:
    using Source = std::function<qint64()>;

    void SetSource(Source source) { m_source = std::move(source); }
    // From 0, running.
    void Start();
    // Both do nothing where the clock already stands or runs.
    void Pause();
    void Resume();
    bool IsPaused() const { return m_pausedAt >= 0; }
    double Seconds() const;

private:
    qint64 NowMs() const;

    Source m_source;
    QElapsedTimer m_monotonic;
    qint64 m_startMs = 0;
    qint64 m_pausedMs = 0; // before the pause under way, if any
    qint64 m_pausedAt = -1;
};
