#pragma once

// What the application does with each frame the engine sends. Runs on the pipe channel's
// reader thread; the owner's thread reads the results (status copy, stored blocks) and
// receives the notices through EngineSink. Plain C++, no Qt.

#include "engine/frame_reader.h"
#include "engine/protocol.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// Window message numbers under which the movie window handles the sink's notices.
constexpr int kWmEngineFailed = 2260;
constexpr int kWmEngineFinished = 2261;
constexpr int kWmEngineFinishing = 2262;

// Code reported with a failure that carried no 4-byte status code.
constexpr int kFailureWithoutCode = 65534;

// The latest progress report, written by the reader thread and sampled by the window
// thread. Guarded, so a sample is never a mix of two reports.
class StatusCopy {
public:
    void Store(const EngineStatus &s)
    {
        std::lock_guard lock(m_mutex);
        m_status = s;
    }
    EngineStatus Load() const
    {
        std::lock_guard lock(m_mutex);
        return m_status;
    }
    void Clear() { Store(EngineStatus{}); }

private:
    mutable std::mutex m_mutex;
    EngineStatus m_status;
};

// Handed to EngineSink::EngineFinishing: the sink calls Done() once the window has handled
// the notice. The reader waits for that before it reports the finish, unless the link is
// being torn down. Copyable; Done() is safe from any thread, more than once, and after
// the engine objects are gone.
class FinishingAck {
public:
    void Done() const;

private:
    friend class EngineMessages;
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        bool cancelled = false;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// The owner of an EngineProcess (the movie run) implements this. Every call comes on one of
// the link's threads (reader, connect or watcher): turn it into a posted event.
class EngineSink {
public:
    virtual ~EngineSink() = default;
    // Both sockets are connected and the control record is sent: Start may follow.
    virtual void EngineConnected() = 0;
    // The engine did not connect within the limit; it may still run.
    virtual void EngineConnectFailed() = 0;
    // The engine could not be made to run: it ended before it connected (a library missing,
    // a crash at start) without having been asked to stop.
    virtual void EngineCreateFailed() = 0;
    // The file failed; code is the engine's status code (low 16 bits) or 65534.
    virtual void EngineFailed(int code) = 0;
    // The file is about to be reported finished. Call ack.Done() when handled (directly, or
    // from a queued call on the window thread). Never block here on the window thread.
    virtual void EngineFinishing(FinishingAck ack) = 0;
    // The file is finished; result is the engine's Result field, not interpreted.
    virtual void EngineFinished(int result) = 0;
    // The engine process has ended, after connecting or after being asked to stop, and every
    // report it sent has come before this. The owner reaps it (IsAlive) and cleans up.
    virtual void EngineEnded() = 0;
};

// A stored engine data block: a fixed header and, when it checked out, the data after it.
struct DataBlock {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> data;
};

class EngineMessages {
public:
    static constexpr std::uint32_t kBlockSize = 1864;  // type 4
    static constexpr std::uint32_t kHeaderSize7 = 48;  // type 7
    static constexpr std::uint32_t kLengthField7 = 20; // offset of type 7's data length
    static constexpr std::uint32_t kHeaderSize11 = 16; // type 11

    void Attach(EngineSink *sink, StatusCopy *status);

    // Reader thread: one call per complete frame.
    void Handle(const FrameView &frame);

    // Owner thread. Before the channel is closed: a finishing wait in progress or to come
    // gives up, so the reader can be joined even while the window thread waits for it.
    void BeginStopping();
    // Owner thread, with no reader running: forgets the blocks, the ready flag, stopping.
    void Reset();

    bool IsReady() const;
    // The path the engine's output took instead of the one asked for; empty when it took its
    // own. Kept through Reset, until ForgetOutputName (a new launch).
    std::string OutputName() const;
    void ForgetOutputName();
    std::optional<std::vector<std::uint8_t>> Block4() const;
    std::optional<DataBlock> Block7() const;
    std::optional<DataBlock> Block11() const;

private:
    void Finish(std::int32_t result);

    EngineSink *m_sink = nullptr;
    StatusCopy *m_status = nullptr;

    mutable std::mutex m_mutex; // everything below
    bool m_ready = false;
    bool m_stopping = false;
    std::shared_ptr<FinishingAck::State> m_pendingAck;
    std::optional<std::vector<std::uint8_t>> m_block4;
    std::optional<DataBlock> m_block7;
    std::optional<DataBlock> m_block11;
    std::string m_outputName;
};

} // namespace engine
