#pragma once

// File names as the application sends them: Base64 of their UTF-16LE bytes.

#include <optional>
#include <string>

namespace mencoder {

// Base64 (standard alphabet, "=" fill) of UTF-16LE bytes -> UTF-8. nullopt on any flaw:
// a bad character or length, an odd byte count, a lone surrogate, an embedded zero.
std::optional<std::string> DecodeWideName(const std::string &base64);

// The reverse, for tests and for scripts that drive the engine like the application does.
std::string EncodeWideName(const std::string &utf8);

} // namespace mencoder
