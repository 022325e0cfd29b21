#include "encoder/wide_name.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace mencoder {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendUtf8(std::string &out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::optional<std::string> DecodeWideName(const std::string &base64)
{
    if (base64.size() % 4 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(base64.size() / 4 * 3);
    for (std::size_t i = 0; i < base64.size(); i += 4) {
        std::uint32_t group = 0;
        int pad = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = base64[i + j];
            if (c == '=') {
                // Fill only in the last group's last one or two places.
                if (i + 4 != base64.size() || j < 2)
                    return std::nullopt;
                ++pad;
                group <<= 6;
                continue;
            }
            if (pad)
                return std::nullopt;
            const std::size_t v = kAlphabet.find(c);
            if (v == std::string_view::npos)
                return std::nullopt;
            group = group << 6 | std::uint32_t(v);
        }
        bytes.push_back(std::uint8_t(group >> 16));
        if (pad < 2)
            bytes.push_back(std::uint8_t(group >> 8));
        if (pad < 1)
            bytes.push_back(std::uint8_t(group));
    }
    if (bytes.size() % 2 != 0)
        return std::nullopt;

    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t unit = std::uint32_t(bytes[i]) | std::uint32_t(bytes[i + 1]) << 8;
        if (unit == 0)
            return std::nullopt; // a path never holds NUL; one here would cut it short
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 3 >= bytes.size())
                return std::nullopt;
            const std::uint32_t low = std::uint32_t(bytes[i + 2]) | std::uint32_t(bytes[i + 3]) << 8;
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            // A byte of a name that is no UTF-8, as the application carries it.
            out += char(unit - 0xDC00);
            continue;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return std::nullopt;
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::string EncodeWideName(const std::string &utf8)
{
    std::vector<std::uint8_t> bytes;
    const auto put = [&bytes](std::uint32_t u) {
        bytes.push_back(std::uint8_t(u));
        bytes.push_back(std::uint8_t(u >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto at = [&utf8](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
        const unsigned char c = at(i);
        std::uint32_t cp = c;
        std::uint32_t min = 0;
        std::size_t extra = 0;
        if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07;
            extra = 3;
            min = 0x10000;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            extra = 2;
            min = 0x800;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F;
            extra = 1;
            min = 0x80;
        }
        bool valid = c < 0x80 || extra > 0;
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            valid = i + k < utf8.size() && (at(i + k) & 0xC0) == 0x80;
            if (valid)
                cp = cp << 6 | (at(i + k) & 0x3F);
        }
        if (valid && extra > 0)
            valid = cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            // A byte that is no UTF-8 travels as U+DC80..U+DCFF, as the application sends it.
            put(0xDC00 + c);
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = std::uint32_t(bytes[i]) << 16;
        if (n > 1)
            group |= std::uint32_t(bytes[i + 1]) << 8;
        if (n > 2)
            group |= bytes[i + 2];
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += n > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        out += n > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    return out;
}

} // namespace mencoder
