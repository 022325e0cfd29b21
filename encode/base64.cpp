#include "encode/base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void EncodeInto(const unsigned char *in, size_t size, char *out)
{
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned v = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8 | in[i + 2];
        *out++ = kAlphabet[v >> 18 & 63];
        *out++ = kAlphabet[v >> 12 & 63];
        *out++ = kAlphabet[v >> 6 & 63];
        *out++ = kAlphabet[v & 63];
    }
    const size_t rest = size - i;
    if (rest > 0) {
        const unsigned v = unsigned(in[i]) << 16 | (rest == 2 ? unsigned(in[i + 1]) << 8 : 0u);
        *out++ = kAlphabet[v >> 18 & 63];
        *out++ = kAlphabet[v >> 12 & 63];
        *out++ = rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        *out++ = '=';
    }
}

} // namespace

int Base64Encode(const unsigned char *data, size_t size, char *out, size_t capacity, size_t *written)
{
    if (size == 0) {
        *written = 0;
        return 0;
    }
    const size_t length = (size + 2) / 3 * 4;
    if (capacity < length + 1) {
        *written = length + 1;
        return kBase64BufferTooSmall;
    }
    EncodeInto(data, size, out);
    out[length] = '\0';
    *written = length;
    return 0;
}

std::string Base64Encode(const void *data, size_t size)
{
    std::string text((size + 2) / 3 * 4, '\0');
    EncodeInto(static_cast<const unsigned char *>(data), size, text.data());
    return text;
}
