#pragma once

// Controls the engine program for one file at a time: starts it with the argument text and
// a pipe number, links it through a PipeChannel, sends start, pause/resume and stop, and
// makes sure no engine outlives its job. Keeps the last lines the engine writes to its
// standard error (DiagnosticsTail). The movie window owns one for its whole life.
//
// Threads: every call belongs to the owner's (window) thread and returns at once; nothing
// here waits for the engine. What happens to it comes to the EngineSink from the link's own
// threads: the channel's connect threads (connected, or not within the limit), its reader
// (the engine's frames, which also write the StatusCopy; see engine_messages.h) and a watcher
// that learns the end of the engine process. Plain C++, no Qt.
//
// Typical use:
//   engine.Attach(&sink, &statusCopy);
//   engine.Launch(engine::ControlRecord{}, args);   ... sink: EngineConnected
//   engine.Start();                                  ... converting
//   engine.Control().Paused = 1; engine.SendControl();                  // pause
//   ... on finished / failed, or cancel: engine.Stop(), and Kill() if EngineEnded has not
//   come within a grace; on EngineEnded: engine.Cleanup().

#include "engine/diagnostics_tail.h"
#include "engine/engine_control.h"
#include "engine/engine_messages.h"
#include "engine/pipe_channel.h"
#include "engine/protocol.h"
#include "platform/process.h"

#include <array>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace engine {

struct EngineTimings {
    // Launch: how long each socket waits for the engine to connect.
    std::chrono::milliseconds connectLimit{PipeChannel::kDefaultConnectLimit};
    // Once the engine has ended: how long its report socket is read for its last frames (only
    // a descendant still holding the socket makes that take any time).
    std::chrono::milliseconds lastFramesLimit{5000};
};

class EngineProcess : public EngineControl {
public:
    EngineProcess();
    ~EngineProcess() override; // an engine still running is asked to stop and killed at once

    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // Where reports go and which status copy progress overwrites; both outlive this object.
    void Attach(EngineSink *sink, StatusCopy *statusCopy) override;
    // The engine program; by default "mencoder" beside the running executable.
    void SetEnginePath(std::string path) { m_enginePath = std::move(path); }
    const std::string &EnginePath() const { return m_enginePath; }
    void SetTimings(const EngineTimings &timings) { m_timings = timings; }

    // Cleans up what an earlier launch left, opens a channel, starts the engine with
    // argumentText + " -wchar -pipename=<n>" and returns without waiting for it. False when
    // the channel cannot be opened or the program cannot be started. Then the sink hears
    // EngineConnected (the control record is sent by then), EngineConnectFailed (not within
    // the limit; the engine is left running for Stop and Kill) or EngineCreateFailed (it
    // ended first), and at last EngineEnded. An engine still held from an earlier launch is
    // killed first (and, only on this path, waited for briefly).
    bool Launch(const ControlRecord &control, const std::string &argumentText) override;
    // Sends begin (type 8) once per launch, once connected. False otherwise.
    bool Start() override;
    // Sends the current Control() record. False when not connected or the write fails.
    bool SendControl() override;
    // The control record sent on connecting and by SendControl; pause and resume change Paused.
    ControlRecord &Control() override { return m_control; }

    // Asks the engine to quit: the stop message once connected, SIGTERM before (or when the
    // message cannot be written). Returns at once: the owner kills it when EngineEnded has not
    // come within its grace. Safe when no engine runs.
    void Stop() override;
    // Stops the link's threads, closes the channel and the diagnostics, forgets the stored
    // blocks and clears Started. An engine still running is killed, without waiting; after
    // EngineEnded nothing is left to wait for.
    void Cleanup() override;

    bool IsAlive() override;
    // SIGKILL without waiting; EngineEnded follows.
    bool Kill() override;

    bool IsStarted() const override { return m_started; }
    // As given to Launch, without the pipe switches.
    const std::string &ArgumentText() const override { return m_argumentText; }
    // At most DiagnosticsTail::kKeptLines, oldest first; complete once the engine has been
    // cleaned up, and kept until the next Launch.
    std::vector<std::string> LastDiagnostics() const override { return m_diagnostics.Lines(); }
    std::string OutputName() const override { return m_messages.OutputName(); }
    bool IsReady() const { return m_messages.IsReady(); }
    int PipeNumber() const { return m_channel.PipeNumber(); }
    pid_t Pid() const { return m_process.Pid(); }
    const EngineMessages &Messages() const { return m_messages; }

private:
    enum class Phase { Idle, Connecting, Connected, Failed };

    bool StartWatcher();
    void StopWatcher();
    // Watcher thread: waits for the engine's end (or Cleanup's wake), then tells the sink.
    void Watch(int endFd, pid_t pid);
    bool WaitForEnd(int endFd, pid_t pid) const;
    // Connect thread.
    void OnConnect(bool connected);

    std::string m_enginePath;
    EngineTimings m_timings;
    ControlRecord m_control;
    bool m_started = false;
    EngineSink *m_sink = nullptr;
    EngineMessages m_messages;
    PipeChannel m_channel;
    std::string m_argumentText;
    DiagnosticsTail m_diagnostics;
    platform::Process m_process;

    std::mutex m_phaseMutex; // guards the three below
    Phase m_phase = Phase::Idle;
    bool m_stopAsked = false;
    bool m_closing = false;
    std::array<std::uint8_t, kControlSize> m_launchControl{};
    int m_wakeFd = -1; // eventfd: Cleanup wakes the watcher
    std::thread m_watcher;
};

} // namespace engine
