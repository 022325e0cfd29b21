#pragma once

#include <cstddef>
#include <string>

// Standard Base64 ("A-Z a-z 0-9 + /", "=" fill, no line breaks) into a caller's buffer.
// Writes 4 * ceil(size / 3) characters and a terminating zero, sets *written to that
// length and returns 0. When capacity is short it writes nothing, sets *written to the
// capacity needed (terminator included) and returns kBase64BufferTooSmall. Zero input
// bytes write nothing and return 0 with *written = 0.
constexpr int kBase64BufferTooSmall = -16;
int Base64Encode(const unsigned char *data, size_t size, char *out, size_t capacity, size_t *written);

// The same into a string, without a capacity limit.
std::string Base64Encode(const void *data, size_t size);
