#pragma once

// What a movie run needs of an engine: one engine per file, launched, started, paused and
// stopped from the owner's thread, reporting through an EngineSink. No call waits for the
// engine: its connection and its end come as sink events. EngineProcess is the real one; a
// run takes it through this interface so that it never names the process. Plain C++.

#include "engine/engine_messages.h"
#include "engine/protocol.h"

#include <string>
#include <vector>

namespace engine {

class EngineControl {
public:
    virtual ~EngineControl() = default;

    virtual void Attach(EngineSink *sink, StatusCopy *statusCopy) = 0;
    // Starts the engine and returns at once; false when it could not be started at all.
    virtual bool Launch(const ControlRecord &control, const std::string &argumentText) = 0;
    // Begin, once the sink has heard EngineConnected.
    virtual bool Start() = 0;
    virtual bool SendControl() = 0;
    virtual ControlRecord &Control() = 0;
    // Asks the engine to quit; the sink hears EngineEnded. The caller kills after its grace.
    virtual void Stop() = 0;
    // Releases the link; quick once the engine has ended, and kills one still running.
    virtual void Cleanup() = 0;
    virtual bool IsAlive() = 0;
    virtual bool Kill() = 0;
    virtual bool IsStarted() const = 0;
    // The argument text of the last Launch, and the last lines that engine wrote to its
    // standard error; both kept after it ended, until the next Launch.
    virtual const std::string &ArgumentText() const = 0;
    virtual std::vector<std::string> LastDiagnostics() const = 0;
    // Where the last engine's finished output went when a file had taken its name meanwhile
    // (the next free "name(N)"); empty when it went where it was asked to. Kept like the above.
    virtual std::string OutputName() const = 0;
};

} // namespace engine
