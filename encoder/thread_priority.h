#pragma once

// The video encoder is the slowest stage and, with threads of its own, cannot always keep
// every core busy. Threads that only prepare its pictures (reading, decoding, filtering, the
// sound) run a few steps below it, so that they take the cores the encoder leaves idle rather
// than the ones it could use. Only relative to the encoder: other programs see the engine's
// threads at their usual weight or lighter, never heavier.

#include <functional>

namespace mencoder {

// Lowers the calling thread's priority (its nice value) by a few steps. Threads it starts
// afterwards inherit the lower priority. Not reversible without privileges, so call it only
// on threads that never feed the encoder.
void YieldToEncoder();

// Runs `work` on a short-lived thread that has yielded, so that the threads it starts (a
// decoder's or a filter graph's workers) are born yielding; rethrows what `work` throws.
void RunYielding(const std::function<void()> &work);

} // namespace mencoder
