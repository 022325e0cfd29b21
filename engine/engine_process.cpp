#include "engine/engine_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace engine {

namespace {

// Channels are opened one at a time across the process.
std::mutex g_openMutex;

// Without a pidfd the watcher looks at the engine this often.
constexpr int kEndPollMs = 20;

} // namespace

EngineProcess::EngineProcess()
    : m_enginePath(platform::ExecutableDir() + "/mencoder")
{
}

EngineProcess::~EngineProcess()
{
    Stop();
    Cleanup();
}

void EngineProcess::Attach(EngineSink *sink, StatusCopy *statusCopy)
{
    m_sink = sink;
    m_messages.Attach(sink, statusCopy);
}

bool EngineProcess::Launch(const ControlRecord &control, const std::string &argumentText)
{
    m_control = control;
    Cleanup();
    // Only a caller that launches over a running engine, which Cleanup killed, gets here with
    // one to reap; a run launches once the last engine has ended.
    if (m_process.HasChild())
        m_process.WaitFor(std::chrono::seconds(1));
    m_messages.Reset();
    m_messages.ForgetOutputName();
    m_argumentText = argumentText;
    m_launchControl = control.Encode();
    {
        std::lock_guard lock(m_phaseMutex);
        m_phase = Phase::Connecting;
        m_stopAsked = false;
        m_closing = false;
    }
    const int errorFd = m_diagnostics.Open();

    int n;
    {
        std::lock_guard lock(g_openMutex);
        m_channel.SetConnectLimit(m_timings.connectLimit);
        n = m_channel.Open([this](const FrameView &f) { m_messages.Handle(f); },
                           [this](bool connected) { OnConnect(connected); });
    }
    // Without a private folder for the sockets (n == 0) the engine could not be reached: the
    // user is told so, as for one that did not start, rather than shown a run that converts nothing.
    bool started =
        n != 0 && m_process.Start(m_enginePath, argumentText + " -wchar -pipename=" + std::to_string(n), errorFd);
    m_diagnostics.ReleaseWriteEnd();
    started = started && StartWatcher();
    if (!started) {
        Cleanup();
        return false;
    }
    m_channel.SetPeerPid(m_process.Pid());
    return true;
}

bool EngineProcess::StartWatcher()
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return false;
    // A copy of its own: the process closes its descriptor when it reaps the engine.
    const int endFd = m_process.EndFd() >= 0 ? ::fcntl(m_process.EndFd(), F_DUPFD_CLOEXEC, 0) : -1;
    try {
        m_watcher = std::thread(&EngineProcess::Watch, this, endFd, m_process.Pid());
    } catch (const std::system_error &) {
        if (endFd >= 0)
            ::close(endFd);
        return false;
    }
    return true;
}

void EngineProcess::StopWatcher()
{
    if (m_watcher.joinable()) {
        const std::uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof(one));
        m_watcher.join();
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}

bool EngineProcess::WaitForEnd(int endFd, pid_t pid) const
{
    for (;;) {
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {endFd, POLLIN, 0}};
        const int r = ::poll(fds, endFd >= 0 ? 2 : 1, endFd >= 0 ? -1 : kEndPollMs);
        if (r < 0 && errno != EINTR)
            return false; // the owner's Kill and IsAlive still find the end
        if (fds[0].revents != 0)
            return false;
        if (endFd >= 0) {
            if (r > 0 && fds[1].revents != 0)
                return true;
            continue;
        }
        // Looks without reaping: the engine is its owner's to reap (ECHILD: it has been).
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid)
            return true;
    }
}

void EngineProcess::Watch(int endFd, pid_t pid)
{
    const bool ended = WaitForEnd(endFd, pid);
    if (endFd >= 0)
        ::close(endFd);
    if (!ended)
        return;
    // What the engine sent last (a finish, say) still waits in the socket: the reader hands
    // it on first, so the owner hears of it before it hears of the end.
    m_channel.WaitPeerClosed(m_timings.lastFramesLimit);
    bool beforeConnecting;
    {
        std::lock_guard lock(m_phaseMutex);
        if (m_closing)
            return;
        beforeConnecting = m_phase == Phase::Connecting && !m_stopAsked;
        if (m_phase == Phase::Connecting)
            m_phase = Phase::Failed;
    }
    if (!m_sink)
        return;
    if (beforeConnecting)
        m_sink->EngineCreateFailed();
    else
        m_sink->EngineEnded();
}

void EngineProcess::OnConnect(bool connected)
{
    {
        // Under the lock, so that Start, whose begin must follow it, cannot come in between.
        std::lock_guard lock(m_phaseMutex);
        if (m_phase != Phase::Connecting || m_closing)
            return;
        if (connected)
            m_channel.Send(static_cast<std::uint8_t>(MsgType::Control), m_launchControl.data(), kControlSize);
        m_phase = connected ? Phase::Connected : Phase::Failed;
    }
    if (!m_sink)
        return;
    if (connected)
        m_sink->EngineConnected();
    else
        m_sink->EngineConnectFailed();
}

bool EngineProcess::Start()
{
    {
        std::lock_guard lock(m_phaseMutex);
        if (m_phase != Phase::Connected)
            return false;
    }
    if (!m_process.HasChild() || m_started)
        return false;
    m_channel.Send(static_cast<std::uint8_t>(MsgType::Begin));
    m_started = true;
    return true;
}

bool EngineProcess::SendControl()
{
    if (!m_process.HasChild())
        return false;
    const auto record = m_control.Encode();
    return m_channel.Send(static_cast<std::uint8_t>(MsgType::Control), record.data(), kControlSize);
}

void EngineProcess::Stop()
{
    // A reader waiting for the window to acknowledge a finish must not wait any longer.
    m_messages.BeginStopping();
    bool connected;
    {
        std::lock_guard lock(m_phaseMutex);
        m_stopAsked = true;
        connected = m_phase == Phase::Connected;
    }
    // Before it has connected the engine hears no message; SIGTERM stops it as the message would.
    if (m_process.HasChild() && (!connected || !m_channel.Send(static_cast<std::uint8_t>(MsgType::Stop))))
        m_process.Terminate();
}

void EngineProcess::Cleanup()
{
    m_messages.BeginStopping();
    {
        std::lock_guard lock(m_phaseMutex);
        m_closing = true;
    }
    m_process.Kill();
    // The channel first: a watcher reading the engine's last frames is released by it.
    m_channel.Close();
    StopWatcher();
    m_diagnostics.Close();
    m_messages.Reset();
    m_started = false;
    std::lock_guard lock(m_phaseMutex);
    m_phase = Phase::Idle;
}

bool EngineProcess::IsAlive() { return m_process.IsAlive(); }

bool EngineProcess::Kill() { return m_process.Kill(); }

} // namespace engine
