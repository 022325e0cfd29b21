#pragma once

// Reassembles engine frames (type byte, 4-byte little-endian length, payload) from a byte
// stream cut at arbitrary points. Plain C++; used by the application's reader thread and by
// the engine program. One instance belongs to one reading thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace engine {

// One complete frame. The payload pointer is valid only during the handler call and is
// null when the length is 0.
struct FrameView {
    std::uint8_t type = 0;
    const std::uint8_t *payload = nullptr;
    std::uint32_t length = 0;
};

class FrameReader {
public:
    // No frame of ours comes near this; a larger announced length is a broken or hostile peer.
    static constexpr std::uint32_t kDefaultMaxPayload = 16u << 20;

    using Handler = std::function<void(const FrameView &)>;

    explicit FrameReader(std::uint32_t maxPayload = kDefaultMaxPayload);

    // Appends bytes and calls handler once per frame completed by them, in order. Frames
    // lying wholly inside data are handed over in place, without a copy; only an
    // unfinished tail is kept. A frame announcing more than maxPayload is skipped: its
    // payload is discarded as it arrives, never stored, and parsing resumes after it.
    void Feed(const void *data, std::size_t size, const Handler &handler);

    // Bytes of an unfinished frame held back (never more than 5 + maxPayload).
    std::size_t Buffered() const { return m_held.size(); }
    // Frames dropped because their length exceeded the cap.
    std::uint64_t OversizedCount() const { return m_oversized; }
    // Forgets any partial frame (a new connection starts clean).
    void Reset();

private:
    std::uint32_t m_maxPayload;
    std::vector<std::uint8_t> m_held;
    std::uint64_t m_skip = 0;
    std::uint64_t m_oversized = 0;
};

} // namespace engine
