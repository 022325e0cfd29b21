#include "engine/frame_reader.h"

#include "engine/protocol.h"

#include <algorithm>

namespace engine {

FrameReader::FrameReader(std::uint32_t maxPayload)
    : m_maxPayload(maxPayload)
{
}

void FrameReader::Reset()
{
    m_held.clear();
    m_held.shrink_to_fit();
    m_skip = 0;
}

void FrameReader::Feed(const void *data, std::size_t size, const Handler &handler)
{
    const auto *p = static_cast<const std::uint8_t *>(data);
    while (size > 0) {
        if (m_skip > 0) {
            const std::size_t drop = static_cast<std::size_t>(std::min<std::uint64_t>(m_skip, size));
            m_skip -= drop;
            p += drop;
            size -= drop;
            continue;
        }

        if (m_held.empty()) {
            // Fast path: parse whole frames straight from the caller's bytes.
            if (size < kFrameHeaderSize) {
                m_held.assign(p, p + size);
                return;
            }
            const std::uint32_t length = GetU32(p + 1);
            if (length > m_maxPayload) {
                ++m_oversized;
                m_skip = length;
                p += kFrameHeaderSize;
                size -= kFrameHeaderSize;
                continue;
            }
            if (size - kFrameHeaderSize < length) {
                m_held.assign(p, p + size);
                return;
            }
            handler(FrameView{p[0], length ? p + kFrameHeaderSize : nullptr, length});
            p += kFrameHeaderSize + length;
            size -= kFrameHeaderSize + length;
            continue;
        }

        // A frame already begun: take just what it still needs.
        if (m_held.size() < kFrameHeaderSize) {
            const std::size_t take = std::min(size, kFrameHeaderSize - m_held.size());
            m_held.insert(m_held.end(), p, p + take);
            p += take;
            size -= take;
            if (m_held.size() < kFrameHeaderSize)
                return;
            const std::uint32_t length = GetU32(m_held.data() + 1);
            if (length > m_maxPayload) {
                ++m_oversized;
                m_skip = length;
                m_held.clear();
                continue;
            }
        }
        const std::uint32_t length = GetU32(m_held.data() + 1);
        const std::size_t want = kFrameHeaderSize + length - m_held.size();
        const std::size_t take = std::min(size, want);
        m_held.insert(m_held.end(), p, p + take);
        p += take;
        size -= take;
        if (take == want) {
            handler(FrameView{m_held[0], length ? m_held.data() + kFrameHeaderSize : nullptr, length});
            m_held.clear();
        }
    }
}

} // namespace engine
