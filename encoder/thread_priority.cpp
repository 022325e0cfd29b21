#include "encoder/thread_priority.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace mencoder {

namespace {

// Weight about a third of the encoder's under Linux's scheduler: enough for the encoder to go
// first when cores are short.
constexpr int kYieldSteps = 5;
// How long the run watches the machine before deciding: the system counts in 10 ms ticks.
constexpr auto kWatch = std::chrono::milliseconds(200);

void Lower(pid_t tid)
{
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, id_t(tid));
    if (current == -1 && errno != 0)
        return; // the thread has ended
    // Best effort: a refusal leaves the thread at its priority, which only costs speed.
    ::setpriority(PRIO_PROCESS, id_t(tid), std::min(current + kYieldSteps, 19));
}

std::set<pid_t> ThreadIds()
{
    std::set<pid_t> ids;
    if (DIR *d = ::opendir("/proc/self/task")) {
        while (const dirent *e = ::readdir(d))
            if (const long id = std::strtol(e->d_name, nullptr, 10); id > 0)
                ids.insert(pid_t(id));
        ::closedir(d);
    }
    return ids;
}

// Test seam: FP_TEST_LOAD gives what other programs keep busy, in processors ("0", "2.5"),
// in place of watching the machine, so that a test decides what the machine looks like.
std::optional<double> GivenLoad()
{
    const char *text = std::getenv("FP_TEST_LOAD");
    if (!text || !*text)
        return std::nullopt;
    char *end = nullptr;
    const double load = std::strtod(text, &end);
    if (*end != '\0' || !(load >= 0))
        return std::nullopt;
    return load;
}

} // namespace

void YieldToEncoder() { Lower(::gettid()); }

EncoderFirst::EncoderFirst()
    : m_since(std::chrono::steady_clock::now())
    , m_start(Take())
    , m_givenLoad(GivenLoad())
{
}

EncoderFirst::Sample EncoderFirst::Take()
{
    Sample s;
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    s.own = double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    if (std::FILE *f = std::fopen("/proc/stat", "re")) {
        unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0;
        if (std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system, &idle, &iowait, &irq,
                        &softirq)
            == 7) {
            // Time stolen by a hypervisor is not this machine's programs at work.
            const long hz = ::sysconf(_SC_CLK_TCK);
            s.busy = double(user + nice + system + irq + softirq) / double(hz > 0 ? hz : 100);
        }
        std::fclose(f);
    }
    return s;
}

void EncoderFirst::Watch(const std::function<void()> &open)
{
    // Only the conversion thread starts threads while the run is set up, so the new ones are
    // the opened part's workers.
    const std::set<pid_t> before = ThreadIds();
    open();
    for (const pid_t id : ThreadIds())
        if (!before.count(id))
            m_workers.push_back(id);
}

void EncoderFirst::Decide()
{
    if (m_decided)
        return;
    double others = 0;
    if (m_givenLoad) {
        others = *m_givenLoad;
    } else {
        const auto elapsed = std::chrono::steady_clock::now() - m_since;
        if (elapsed < kWatch)
            return;
        const Sample now = Take();
        if (now.busy < 0 || m_start.busy < 0) {
            m_decided = true;
            return;
        }
        const double wall = std::chrono::duration<double>(elapsed).count();
        others = std::max(0.0, (now.busy - m_start.busy) - (now.own - m_start.own)) / wall;
    }
    m_decided = true;
    const double cores = std::max(1u, std::thread::hardware_concurrency());
    if (others >= std::max(0.5, cores / 4))
        return;
    for (const pid_t id : m_workers)
        Lower(id);
    YieldToEncoder();
    m_yield = true;
}

} // namespace mencoder
