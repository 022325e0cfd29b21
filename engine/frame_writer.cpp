#include "engine/frame_writer.h"

#include "engine/protocol.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <vector>

namespace engine {

bool SendFrame(int fd, std::uint8_t type, const void *payload, std::uint32_t length)
{
    if (fd < 0 || (!payload && length != 0))
        return false;
    // One buffer, so the frame goes out in as few writes as the socket allows.
    std::vector<std::uint8_t> frame(kFrameHeaderSize + length);
    const auto header = FrameHeader(type, length);
    std::memcpy(frame.data(), header.data(), header.size());
    if (length)
        std::memcpy(frame.data() + kFrameHeaderSize, payload, length);

    const std::uint8_t *p = frame.data();
    std::size_t left = frame.size();
    while (left > 0) {
        const ssize_t w = ::send(fd, p, left, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace engine
