// libFuzzer target: the frame reader must deliver exactly what a whole-stream parse finds,
// however the stream is cut, and never hold more than one capped frame.
// Input: byte 0 seeds the cut sizes, the rest is the stream.

#include "engine/frame_reader.h"
#include "engine/protocol.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kCap = 4096;

struct Seen {
    std::uint8_t type;
    std::string payload;
    bool operator==(const Seen &) const = default;
};

// Reference: the same rules, on the whole stream at once.
std::vector<Seen> Reference(const std::uint8_t *p, std::size_t n)
{
    std::vector<Seen> out;
    std::size_t at = 0;
    while (n - at >= engine::kFrameHeaderSize) {
        const std::uint32_t len = engine::GetU32(p + at + 1);
        const std::uint8_t type = p[at];
        at += engine::kFrameHeaderSize;
        if (len > kCap) {
            if (n - at < len)
                break;
            at += len;
            continue;
        }
        if (n - at < len)
            break;
        out.push_back({type, std::string(reinterpret_cast<const char *>(p + at), len)});
        at += len;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    unsigned seed = data[0];
    const std::uint8_t *stream = data + 1;
    const std::size_t n = size - 1;

    engine::FrameReader reader(kCap);
    std::vector<Seen> got;
    std::size_t at = 0;
    while (at < n) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t piece = std::min<std::size_t>(n - at, 1 + (seed >> 16) % 64);
        reader.Feed(stream + at, piece, [&](const engine::FrameView &f) {
            if ((f.length == 0) != (f.payload == nullptr))
                std::abort();
            got.push_back({f.type, std::string(reinterpret_cast<const char *>(f.payload), f.length)});
        });
        if (reader.Buffered() > engine::kFrameHeaderSize + kCap)
            std::abort();
        at += piece;
    }
    if (got != Reference(stream, n))
        std::abort();
    return 0;
}
