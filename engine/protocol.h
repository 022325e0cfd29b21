#pragma once

// The wire format between the application and the engine program: frames of a type byte,
// a 4-byte little-endian payload length and the payload, the same in both directions.
// Plain C++ so that both sides share it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace engine {

enum class MsgType : std::uint8_t {
    // application -> engine
    Stop = 1,
    Control = 2,
    Begin = 8,
    // engine -> application
    DataBlock = 4,
    Ready = 5,
    DataHeader = 7,
    DataChunk = 11,
    Progress = 14,
    Finished = 15,
    Failed = 16,
    // The UTF-8 path the output took because a file appeared at its own name meanwhile; sent
    // just before Finished, and only then.
    OutputNamed = 17,
};

// Longest path an OutputNamed frame may carry.
constexpr std::size_t kMaxOutputNameSize = 4096;

constexpr std::size_t kFrameHeaderSize = 5;
constexpr std::size_t kStatusSize = 24;
constexpr std::size_t kControlSize = 8;

// Socket base names; the pipe number follows in decimal ("...Send1", "...Rcv1").
// Send: application -> engine. Rcv: engine -> application.
constexpr const char *kSendPipeBase = "KX_Brivo_Pipe_Send";
constexpr const char *kRcvPipeBase = "KX_Brivo_Pipe_Rcv";

inline std::string SendPipeName(int n) { return kSendPipeBase + std::to_string(n); }
inline std::string RcvPipeName(int n) { return kRcvPipeBase + std::to_string(n); }

inline void PutU32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint32_t GetU32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

inline std::array<std::uint8_t, kFrameHeaderSize> FrameHeader(std::uint8_t type, std::uint32_t length)
{
    std::array<std::uint8_t, kFrameHeaderSize> h{};
    h[0] = type;
    PutU32(h.data() + 1, length);
    return h;
}

// The engine's progress report: Percent at 0, Position (seconds of the source, float64)
// at 8, Result at 16; bytes 4..7 and 20..23 are not read.
struct EngineStatus {
    std::int32_t Percent = 0;
    double Position = 0.0;
    std::int32_t Result = 0;

    std::array<std::uint8_t, kStatusSize> Encode() const
    {
        std::array<std::uint8_t, kStatusSize> b{};
        PutU32(b.data(), static_cast<std::uint32_t>(Percent));
        std::uint64_t bits;
        std::memcpy(&bits, &Position, 8);
        PutU32(b.data() + 8, static_cast<std::uint32_t>(bits));
        PutU32(b.data() + 12, static_cast<std::uint32_t>(bits >> 32));
        PutU32(b.data() + 16, static_cast<std::uint32_t>(Result));
        return b;
    }

    static EngineStatus Decode(const std::uint8_t *b)
    {
        EngineStatus s;
        s.Percent = static_cast<std::int32_t>(GetU32(b));
        const std::uint64_t bits = std::uint64_t(GetU32(b + 8)) | std::uint64_t(GetU32(b + 12)) << 32;
        std::memcpy(&s.Position, &bits, 8);
        s.Result = static_cast<std::int32_t>(GetU32(b + 16));
        return s;
    }
};

// Control state sent to the engine after it connects and on every pause and resume.
struct ControlRecord {
    std::int32_t Reserved = 0;
    std::int32_t Paused = 0;

    std::array<std::uint8_t, kControlSize> Encode() const
    {
        std::array<std::uint8_t, kControlSize> b{};
        PutU32(b.data(), static_cast<std::uint32_t>(Reserved));
        PutU32(b.data() + 4, static_cast<std::uint32_t>(Paused));
        return b;
    }

    static ControlRecord Decode(const std::uint8_t *b)
    {
        return {static_cast<std::int32_t>(GetU32(b)), static_cast<std::int32_t>(GetU32(b + 4))};
    }
};

} // namespace engine
