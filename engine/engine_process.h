#pragma once

// Controls the engine program for one file at a time: starts it with the argument text and
// a pipe number, links it through a PipeChannel, sends start, pause/resume and stop, and
// makes sure no engine outlives its job. Keeps the last lines the engine writes to its
// standard error (DiagnosticsTail). The movie window owns one for its whole life.
//
// Threads: every call belongs to the owner's (window) thread. The engine's frames are
// handled on the channel's reader thread, which writes the StatusCopy and calls the
// EngineSink (see engine_messages.h). Plain C++, no Qt.
//
// Typical use:
//   engine.Attach(&sink, &statusCopy);
//   if (engine.Launch(engine::ControlRecord{}, args) && engine.Start()) ... converting
//   engine.Control().Paused = 1; engine.SendControl();                  // pause
//   ... on finished / failed, or cancel: engine.Stop();

#include "engine/diagnostics_tail.h"
#include "engine/engine_control.h"
#include "engine/engine_messages.h"
#include "engine/pipe_channel.h"
#include "engine/protocol.h"
#include "platform/process.h"

#include <chrono>
#include <string>

namespace engine {

struct EngineTimings {
    // Stop: how long an engine has to quit after the stop message before it is killed.
    std::chrono::milliseconds stopGrace{1500};
    // Cleanup: how long a still-running engine is waited for before it is killed.
    std::chrono::milliseconds cleanupWait{5000};
    // Launch: how long each socket waits for the engine to connect.
    std::chrono::milliseconds connectLimit{PipeChannel::kDefaultConnectLimit};
};

class EngineProcess : public EngineControl {
public:
    EngineProcess();
    ~EngineProcess() override; // Cleanup(): a running engine is waited for, then killed

    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // Where reports go and which status copy progress overwrites; both outlive this object.
    void Attach(EngineSink *sink, StatusCopy *statusCopy) override;
    // The engine program; by default "mencoder" beside the running executable.
    void SetEnginePath(std::string path) { m_enginePath = std::move(path); }
    const std::string &EnginePath() const { return m_enginePath; }
    void SetTimings(const EngineTimings &timings) { m_timings = timings; }

    // Kills an engine still held, cleans up, opens a channel, starts the engine with
    // argumentText + " -wchar -pipename=<n>", waits until it has connected both sockets
    // and sends it the control record. False when the channel cannot be opened, the
    // program cannot be started or ends before it connects (for both the sink's
    // EngineCreateFailed is called), the engine does not connect within the limit, or the
    // write fails. An engine left running by a failed launch is removed by the next Launch
    // or Stop.
    bool Launch(const ControlRecord &control, const std::string &argumentText) override;
    // Sends begin (type 8) once per launch. False when no engine is held or already started.
    bool Start() override;
    // Sends the current Control() record. False when no engine is held or the write fails.
    bool SendControl() override;
    // The control record sent by Launch and SendControl; pause and resume change Paused.
    ControlRecord &Control() override { return m_control; }

    // Asks the engine to quit, kills it if it has not within stopGrace, then Cleanup().
    // Safe when no engine runs.
    void Stop() override;
    // Forgets the stored blocks, waits up to cleanupWait for the engine, kills it if it
    // still runs, closes the channel and clears Started.
    void Cleanup() override;

    bool IsAlive() override;
    bool Kill() override;

    bool IsStarted() const override { return m_started; }
    // As given to Launch, without the pipe switches.
    const std::string &ArgumentText() const override { return m_argumentText; }
    // At most DiagnosticsTail::kKeptLines, oldest first; complete once the engine has been
    // stopped or cleaned up, and kept until the next Launch.
    std::vector<std::string> LastDiagnostics() const override { return m_diagnostics.Lines(); }
    std::string OutputName() const override { return m_messages.OutputName(); }
    bool IsReady() const { return m_messages.IsReady(); }
    int PipeNumber() const { return m_channel.PipeNumber(); }
    pid_t Pid() const { return m_process.Pid(); }
    const EngineMessages &Messages() const { return m_messages; }

private:
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
};

} // namespace engine
