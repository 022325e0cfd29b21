#pragma once

// File names as the application sends them: Base64 of their UTF-16LE bytes.

#include <optional>
#include <string>

namespace mencoder {

// Base64 (standard alphabet, "=" fill) of UTF-16LE bytes -> the name's bytes: UTF-8, and
// U+DC80..U+DCFF alone for a byte of a name that is no UTF-8. nullopt on any flaw:
// a bad character or length, an odd byte count, any other lone surrogate, an embedded zero.
std::optional<std::string> DecodeWideName(const std::string &base64);

// The reverse, for tests and for scripts that drive the engine like the application does.
std::string EncodeWideName(const std::string &utf8);

} // namespace mencoder
