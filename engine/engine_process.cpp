#include "engine/engine_process.h"

#include <mutex>

namespace engine {

namespace {

// Channels are opened one at a time across the process.
std::mutex g_openMutex;

} // namespace

EngineProcess::EngineProcess()
    : m_enginePath(platform::ExecutableDir() + "/mencoder")
{
}

EngineProcess::~EngineProcess() { Cleanup(); }

void EngineProcess::Attach(EngineSink *sink, StatusCopy *statusCopy)
{
    m_sink = sink;
    m_messages.Attach(sink, statusCopy);
}

bool EngineProcess::Launch(const ControlRecord &control, const std::string &argumentText)
{
    m_control = control;
    if (m_process.HasChild())
        m_process.Kill();
    Cleanup();
    m_messages.Reset();
    m_messages.ForgetOutputName();
    m_argumentText = argumentText;
    const int errorFd = m_diagnostics.Open();

    int n;
    {
        std::lock_guard lock(g_openMutex);
        m_channel.SetConnectLimit(m_timings.connectLimit);
        n = m_channel.Open([this](const FrameView &f) { m_messages.Handle(f); });
    }
    // Without a private folder for the sockets (n == 0) the engine could not be reached: the
    // user is told so, as for one that did not start, rather than shown a run that converts nothing.
    const bool started =
        n != 0 && m_process.Start(m_enginePath, argumentText + " -wchar -pipename=" + std::to_string(n), errorFd);
    m_diagnostics.ReleaseWriteEnd();
    if (!started) {
        Cleanup();
        if (m_sink)
            m_sink->EngineCreateFailed();
        return false;
    }
    m_channel.SetPeerPid(m_process.Pid());

    for (;;) {
        const auto state = m_channel.WaitConnected(std::chrono::milliseconds(10));
        if (state == PipeChannel::ConnectState::Connected)
            break;
        if (state == PipeChannel::ConnectState::Failed)
            return false;
        // An engine that ended before it connected (a library missing, a crash at start) is
        // one that could not be made to run, as one that could not be started: every file
        // would meet the same. Its last words stay readable for the log.
        if (!m_process.IsAlive()) {
            Cleanup();
            if (m_sink)
                m_sink->EngineCreateFailed();
            return false;
        }
    }
    const auto record = m_control.Encode();
    return m_channel.Send(static_cast<std::uint8_t>(MsgType::Control), record.data(), kControlSize);
}

bool EngineProcess::Start()
{
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
    if (m_process.HasChild() && m_process.IsAlive()) {
        m_messages.BeginStopping();
        m_channel.Send(static_cast<std::uint8_t>(MsgType::Stop));
        if (!m_process.WaitFor(m_timings.stopGrace))
            m_process.Kill();
    }
    Cleanup();
    m_started = false;
}

void EngineProcess::Cleanup()
{
    // An engine that has ended said all it had to say: its last frames (a finish, say) may
    // still wait in the socket, and are read to the end before the channel goes.
    if (!m_process.IsAlive())
        m_channel.WaitPeerClosed(m_timings.cleanupWait);
    // Then release a reader waiting for the window to acknowledge a finish: the window
    // thread is here, not in its event loop.
    m_messages.BeginStopping();
    if (m_process.HasChild() && !m_process.WaitFor(m_timings.cleanupWait))
        m_process.Kill();
    m_channel.Close();
    m_diagnostics.Close();
    m_messages.Reset();
    m_started = false;
}

bool EngineProcess::IsAlive() { return m_process.IsAlive(); }

bool EngineProcess::Kill() { return m_process.Kill(); }

} // namespace engine
