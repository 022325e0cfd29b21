// Encodes arbitrary bytes into a buffer of a fuzzer-chosen capacity and checks the
// result against a decoder written independently here.
#include "encode/base64.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::vector<unsigned char> Decode(const char *text, size_t length)
{
    std::vector<unsigned char> out;
    if (length % 4 != 0)
        abort();
    for (size_t i = 0; i < length; i += 4) {
        int v[4];
        int fill = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=') {
                // Fill only at the very end, in the last two places.
                if (i + 4 != length || k < 2)
                    abort();
                v[k] = 0;
                ++fill;
            } else {
                if (fill > 0 || (v[k] = Value(c)) < 0)
                    abort();
            }
        }
        const unsigned bits = unsigned(v[0]) << 18 | unsigned(v[1]) << 12 | unsigned(v[2]) << 6 | unsigned(v[3]);
        out.push_back(static_cast<unsigned char>(bits >> 16));
        if (fill < 2)
            out.push_back(static_cast<unsigned char>(bits >> 8));
        if (fill < 1)
            out.push_back(static_cast<unsigned char>(bits));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the capacity, the rest is the input.
    const size_t capacity = size_t(data[0]) << 8 | data[1];
    data += 2;
    size -= 2;

    const size_t needed = size == 0 ? 0 : (size + 2) / 3 * 4 + 1;
    std::vector<char> buffer(capacity + 1, '#'); // one guard byte past the capacity
    size_t written = 12345;
    const int result = Base64Encode(data, size, buffer.data(), capacity, &written);

    if (size == 0) {
        if (result != 0 || written != 0 || buffer[0] != '#')
            abort();
        return 0;
    }
    if (capacity < needed) {
        if (result != kBase64BufferTooSmall || written != needed)
            abort();
        for (char c : buffer) {
            if (c != '#')
                abort();
        }
        return 0;
    }
    if (result != 0 || written != needed - 1 || buffer[written] != '\0' || buffer[capacity] != '#')
        abort();
    const std::vector<unsigned char> decoded = Decode(buffer.data(), written);
    if (decoded.size() != size || std::memcmp(decoded.data(), data, size) != 0)
        abort();
    return 0;
}
