#pragma once

// The video encoder is the slowest stage and, with threads of its own, cannot always keep
// every core busy. On an otherwise quiet machine, the threads that only prepare its pictures
// (reading, decoding, filtering, the sound) run a few steps below it, so that they take the
// cores the encoder leaves idle rather than the ones it could use. Where other programs keep
// the cores busy, yielding would hand the preparing threads' share to them and starve the
// encoder, so nothing yields there.

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace mencoder {

// Lowers the calling thread's priority (its nice value) a few steps. Not reversible without
// privileges; threads it starts afterwards inherit it.
void YieldToEncoder();

class EncoderFirst {
public:
    EncoderFirst();

    // Runs `open` (a decoder or a filter graph opening) and remembers the worker threads it
    // starts; they prepare pictures.
    void Watch(const std::function<void()> &open);

    // Called by the reading thread as it goes: once the run has watched the machine long
    // enough, decides, and if the machine is quiet lowers the watched workers and the caller.
    // With FP_TEST_LOAD set (a test seam: other programs' load in processors) it decides at
    // the first call from that load instead.
    void Decide();

    // Set once the preparing stages should yield; each of our stage threads then yields itself.
    const std::atomic<bool> &Flag() const { return m_yield; }

private:
    struct Sample {
        double own = 0;   // this process's processor seconds
        double busy = -1; // all processors' busy seconds (-1: unknown)
    };
    static Sample Take();

    std::chrono::steady_clock::time_point m_since;
    Sample m_start;
    std::optional<double> m_givenLoad;
    bool m_decided = false;
    std::vector<pid_t> m_workers;
    std::atomic<bool> m_yield{false};
};

} // namespace mencoder
