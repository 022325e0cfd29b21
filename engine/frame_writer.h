#pragma once

#include <cstdint>

namespace engine {

// Writes one whole frame (header and payload) on a connected stream socket, retrying short
// writes and never raising SIGPIPE. False on any error. Callers that send from several threads
// hold their own lock around it so that frames never interleave.
bool SendFrame(int fd, std::uint8_t type, const void *payload, std::uint32_t length);

} // namespace engine
