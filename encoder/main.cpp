// mencoder: converts one file for the application, or from a shell.
//
// With -pipename=N it reports to the application over its sockets: ready, then waits for
// the control and begin frames, progress at least twice a second, then exactly one finish or
// failure frame. Without it, it prints progress on standard error and exits with 0 or the
// failure code. The main thread commands; the conversion runs on a thread of its own.

#include "encoder/arguments.h"
#include "encoder/run_control.h"
#include "encoder/transcoder.h"
#include "engine/failure_codes.h"
#include "engine/pipe_client.h"
#include "engine/protocol.h"

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using engine::FailureCode;
using namespace std::chrono_literals;

namespace {

volatile std::sig_atomic_t g_signalled = 0;
// Until the conversion starts nothing of ours is on disk: a stop then ends the process at
// once, also while it waits for the application's sockets.
volatile std::sig_atomic_t g_converting = 0;

void OnSignal(int)
{
    g_signalled = 1;
    if (!g_converting)
        ::_exit(static_cast<int>(FailureCode::Stopped));
}

void InstallSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit must end in a write error we can report, not in a dead process.
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

// The pipe number is looked for before the rest is parsed, so that even a refused argument
// text is reported over the sockets.
int PipeNumber(const std::vector<std::string> &args)
{
    for (const std::string &a : args) {
        if (a.rfind("-pipename=", 0) == 0) {
            try {
                const int n = std::stoi(a.substr(10));
                return n > 0 ? n : 0;
            } catch (...) {
                return 0;
            }
        }
    }
    return 0;
}

int ExitCode(FailureCode code) { return static_cast<int>(code); }

void Complain(const std::string &message, FailureCode code)
{
    std::fprintf(stderr, "mencoder: %s (%s, code %d)\n", message.c_str(), engine::FailureText(code), ExitCode(code));
}

// How long a stopped conversion may take to let go before the process ends without it: a
// read stuck in the kernel (a hung network share) must not keep a stopped engine alive.
constexpr auto kStopGrace = 600ms;

// Runs the conversion on its own thread; calls tick every 100 ms on this one until it ends.
// The end wakes this thread at once: a finished file is reported (and the process gone)
// without waiting out the rest of a tick. `abandoned` says the conversion did not end within
// kStopGrace of a stop; its thread is still running and the caller must end the process.
template <class Tick>
mencoder::RunResult RunWithTicks(const mencoder::EncodeOptions &options, mencoder::RunControl &control, Tick tick,
                                 bool &abandoned)
{
    // Shared with the thread, which may outlive this call when it is abandoned.
    struct Shared {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        mencoder::RunResult result;
    };
    auto shared = std::make_shared<Shared>();
    g_converting = 1;
    std::thread worker([shared, &options, &control] {
        mencoder::RunResult outcome = mencoder::Convert(options, control);
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(outcome);
        shared->done = true;
        shared->ended.notify_one();
    });
    std::optional<std::chrono::steady_clock::time_point> stoppedAt;
    std::unique_lock lock(shared->mutex);
    while (!shared->done) {
        lock.unlock();
        tick();
        if (control.StopRequested() && !stoppedAt)
            stoppedAt = std::chrono::steady_clock::now();
        if (stoppedAt && std::chrono::steady_clock::now() - *stoppedAt >= kStopGrace) {
            worker.detach();
            abandoned = true;
            return {FailureCode::Stopped, "stopped; the input did not let go of the conversion in time", {}};
        }
        lock.lock();
        shared->ended.wait_for(lock, 100ms, [&] { return shared->done; });
    }
    lock.unlock();
    worker.join();
    abandoned = false;
    return shared->result;
}

// Says so when a file took the output's name meanwhile and the output went to the next free
// one; true then.
bool NoteOtherName(const mencoder::EncodeOptions &options, const mencoder::RunResult &result)
{
    if (result.outputPath.empty() || result.outputPath == options.output)
        return false;
    std::fprintf(stderr, "mencoder: a file took the name %s meanwhile; the output is %s\n", options.output.c_str(),
                 result.outputPath.c_str());
    return true;
}

int RunStandalone(const mencoder::ParseResult &parsed)
{
    if (!parsed.options) {
        Complain(parsed.message, parsed.code);
        return ExitCode(parsed.code);
    }
    mencoder::RunControl control;
    auto last = std::chrono::steady_clock::now();
    bool abandoned = false;
    const auto result = RunWithTicks(
        *parsed.options, control,
        [&] {
            if (g_signalled)
                control.RequestStop();
            const auto now = std::chrono::steady_clock::now();
            if (now - last >= 250ms) {
                last = now;
                std::fprintf(stderr, "\rPos: %8.1fs  %3d%%", control.position.load(), control.percent.load());
            }
        },
        abandoned);
    if (result.code != FailureCode::None) {
        std::fprintf(stderr, "\n");
        Complain(result.message, result.code);
        if (abandoned)
            std::_Exit(ExitCode(result.code)); // the conversion's thread is still in a read
        return ExitCode(result.code);
    }
    std::fprintf(stderr, "\rPos: %8.1fs  100%%\n", control.position.load());
    NoteOtherName(*parsed.options, result);
    return 0;
}

void SendFailure(engine::PipeClient &link, FailureCode code)
{
    std::uint8_t payload[4];
    engine::PutU32(payload, static_cast<std::uint32_t>(code));
    link.Send(engine::MsgType::Failed, payload, sizeof(payload));
}

int RunLinked(int pipeNumber, const mencoder::ParseResult &parsed)
{
    engine::PipeClient link;
    if (!link.Connect(pipeNumber, 30s)) {
        Complain("cannot reach the application's sockets for pipe " + std::to_string(pipeNumber),
                 FailureCode::PipeFailed);
        return ExitCode(FailureCode::PipeFailed);
    }
    link.Send(engine::MsgType::Ready);

    mencoder::RunControl control;
    // Nothing starts before the begin frame; the control frame before it may already pause.
    for (bool begun = false; !begun;) {
        const auto frame = link.Wait(200ms);
        if (!frame) {
            if (link.PeerClosed())
                return ExitCode(FailureCode::Stopped);
            continue;
        }
        const auto type = static_cast<engine::MsgType>(frame->type);
        if (type == engine::MsgType::Stop)
            return ExitCode(FailureCode::Stopped);
        if (type == engine::MsgType::Control && frame->payload.size() == engine::kControlSize)
            control.SetPaused(engine::ControlRecord::Decode(frame->payload.data()).Paused != 0);
        begun = type == engine::MsgType::Begin;
    }
    if (!parsed.options) {
        Complain(parsed.message, parsed.code);
        SendFailure(link, parsed.code);
        return ExitCode(parsed.code);
    }

    auto lastProgress = std::chrono::steady_clock::now() - 1s;
    bool abandoned = false;
    const auto result = RunWithTicks(
        *parsed.options, control,
        [&] {
            while (const auto frame = link.Poll()) {
                const auto type = static_cast<engine::MsgType>(frame->type);
                if (type == engine::MsgType::Stop)
                    control.RequestStop();
                else if (type == engine::MsgType::Control && frame->payload.size() == engine::kControlSize)
                    control.SetPaused(engine::ControlRecord::Decode(frame->payload.data()).Paused != 0);
            }
            if (link.PeerClosed() || g_signalled)
                control.RequestStop(); // nobody is waiting for this file any more
            const auto now = std::chrono::steady_clock::now();
            if (now - lastProgress >= 250ms) {
                lastProgress = now;
                engine::EngineStatus status;
                status.Percent = control.percent;
                status.Position = control.position;
                const auto bytes = status.Encode();
                link.Send(engine::MsgType::Progress, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
            }
        },
        abandoned);

    if (result.code == FailureCode::None) {
        engine::EngineStatus status;
        status.Percent = 100;
        status.Position = control.position;
        status.Result = 0;
        const auto bytes = status.Encode();
        // The window shows the last progress report, so the file's end is reported as one too.
        link.Send(engine::MsgType::Progress, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        if (NoteOtherName(*parsed.options, result) && result.outputPath.size() <= engine::kMaxOutputNameSize)
            link.Send(engine::MsgType::OutputNamed, reinterpret_cast<const std::uint8_t *>(result.outputPath.data()),
                      static_cast<std::uint32_t>(result.outputPath.size()));
        link.Send(engine::MsgType::Finished, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        return 0;
    }
    Complain(result.message, result.code);
    // A stopped engine owes no report: the application is tearing it down.
    if (result.code != FailureCode::Stopped)
        SendFailure(link, result.code);
    if (abandoned)
        std::_Exit(ExitCode(result.code)); // the conversion's thread is still in a read
    return ExitCode(result.code);
}

} // namespace

int main(int argc, char **argv)
{
    // One heap for every thread: a picture freed on the encoder's thread is reused by the next
    // one decoded on another, where per-thread heaps would each keep a few of their own.
    mallopt(M_ARENA_MAX, 1);
    InstallSignals();
    av_log_set_level(AV_LOG_ERROR);
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const mencoder::ParseResult parsed = mencoder::ParseArguments(args);
    const int pipeNumber = PipeNumber(args);
    return pipeNumber > 0 ? RunLinked(pipeNumber, parsed) : RunStandalone(parsed);
}
