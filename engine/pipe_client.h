#pragma once

// The engine program's end of the link to the application: two Unix-domain stream sockets
// in the private runtime folder, created by the application before it starts the engine.
//   <RuntimeDir>/KX_Brivo_Pipe_Send<n>  application -> engine  (this side reads)
//   <RuntimeDir>/KX_Brivo_Pipe_Rcv<n>   engine -> application  (this side writes)
// n is the number given to the engine as "-pipename=<n>". Plain C++, no Qt.
//
// Typical use in the engine:
//   engine::PipeClient link;
//   if (!link.Connect(n, std::chrono::seconds(30))) return 1;
//   link.Send(engine::MsgType::Ready);
//   auto f = link.Wait(std::chrono::seconds(30));        // control (2), then begin (8)
//   ... between frames: while (auto f = link.Poll()) { handle pause (2) / stop (1) }
//   link.Send(engine::MsgType::Progress, status.Encode().data(), engine::kStatusSize);
//
// Threads: Send may be called from any thread at once (each frame goes out whole, never
// interleaved). Poll and Wait belong to one thread. Connect and Close to the owner.

#include "engine/frame_reader.h"
#include "engine/protocol.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// A received frame with its own copy of the payload.
struct Frame {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
};

class PipeClient {
public:
    PipeClient() = default;
    ~PipeClient();
    PipeClient(const PipeClient &) = delete;
    PipeClient &operator=(const PipeClient &) = delete;

    // Connects to both sockets of pipe number n in platform::RuntimeDir(), retrying while
    // they do not exist yet or refuse, until timeout. False when either cannot be reached
    // in time; nothing stays open then.
    bool Connect(int pipeNumber, std::chrono::milliseconds timeout);
    // The same with the folder given (tests).
    bool Connect(const std::string &dir, int pipeNumber, std::chrono::milliseconds timeout);

    bool IsConnected() const { return m_readFd >= 0 && m_writeFd >= 0; }

    // Writes one frame. False when not connected or the application has gone; never raises
    // SIGPIPE. A null payload is allowed only with length 0.
    bool Send(std::uint8_t type, const void *payload = nullptr, std::uint32_t length = 0);
    bool Send(MsgType type, const void *payload = nullptr, std::uint32_t length = 0)
    {
        return Send(static_cast<std::uint8_t>(type), payload, length);
    }

    // The next received frame if one is complete, without blocking.
    std::optional<Frame> Poll();
    // The next frame, waiting up to timeout for it. nullopt on time-out or when the
    // application closed its end (see PeerClosed).
    std::optional<Frame> Wait(std::chrono::milliseconds timeout);

    // The application closed the command socket (or it failed): no further frames will
    // come. Frames already received are still returned by Poll.
    bool PeerClosed() const { return m_peerClosed; }

    void Close();

private:
    void ReadAvailable();

    int m_readFd = -1;
    int m_writeFd = -1;
    bool m_peerClosed = false;
    std::mutex m_sendMutex;
    FrameReader m_reader{1u << 20};
    std::deque<Frame> m_frames;
};

} // namespace engine
