#include "encoder/thread_priority.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace mencoder {

namespace {
// Weight about a third of the encoder's under Linux's scheduler: enough for the encoder to go
// first, mild enough that a machine busy with other programs does not starve the decoding.
constexpr int kYieldSteps = 5;
} // namespace

void YieldToEncoder()
{
    const id_t self = static_cast<id_t>(::gettid());
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, self);
    if (current == -1 && errno != 0)
        return;
    // Best effort: a refusal leaves the thread at its priority, which only costs speed.
    ::setpriority(PRIO_PROCESS, self, std::min(current + kYieldSteps, 19));
}

void RunYielding(const std::function<void()> &work)
{
    std::exception_ptr failure;
    std::thread helper([&] {
        YieldToEncoder();
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace mencoder
