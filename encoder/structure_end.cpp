#include "encoder/structure_end.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace mencoder {

namespace {

using Shape = StructureEnd::Shape;

StructureEnd Whole() { return {Shape::Whole, {}}; }
StructureEnd Unknown() { return {Shape::Unknown, {}}; }
StructureEnd CutOff(const char *what) { return {Shape::CutOff, what}; }

std::uint32_t Le32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

std::uint64_t Be(const unsigned char *p, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | p[i];
    return v;
}

// Reads small headers at any offset through a window of the file, so that walking the
// thousands of frames or tags of a long file costs few system calls.
class Window {
public:
    explicit Window(const std::string &path)
        : m_in(path, std::ios::binary | std::ios::ate)
    {
        if (m_in)
            m_size = std::uint64_t(m_in.tellg());
    }

    std::uint64_t Size() const { return m_size; }

    // False when fewer than n bytes remain at offset.
    bool Read(std::uint64_t offset, unsigned char *out, std::size_t n)
    {
        if (offset > m_size || n > m_size - offset)
            return false;
        if (n > kBytes) { // a long stretch goes past the window
            m_in.clear();
            m_in.seekg(std::streamoff(offset));
            return bool(m_in.read(reinterpret_cast<char *>(out), std::streamsize(n)));
        }
        if (offset < m_start || offset + n > m_start + m_buffer.size()) {
            m_start = offset;
            m_buffer.resize(std::size_t(std::min<std::uint64_t>(kBytes, m_size - offset)));
            m_in.clear();
            m_in.seekg(std::streamoff(offset));
            if (!m_in.read(reinterpret_cast<char *>(m_buffer.data()), std::streamsize(m_buffer.size()))) {
                m_buffer.clear();
                return false;
            }
        }
        std::memcpy(out, m_buffer.data() + (offset - m_start), n);
        return true;
    }

private:
    static constexpr std::uint64_t kBytes = 64 * 1024;
    std::ifstream m_in;
    std::uint64_t m_size = 0;
    std::uint64_t m_start = 0;
    std::vector<unsigned char> m_buffer;
};

// WAV, AVI and AIFF: the outer chunk's size covers all the file holds; an AVI past 1 GiB adds
// more RIFF chunks after the first. A data chunk may claim more than the file has where the
// outer chunk does not: only the outermost size tells a cut copy.
StructureEnd RiffEnd(Window &file)
{
    std::uint64_t offset = 0;
    unsigned char head[8];
    if (!file.Read(0, head, sizeof(head)))
        return Unknown();
    const bool aiff = std::memcmp(head, "FORM", 4) == 0; // sizes big-endian
    const char *outer = aiff ? "FORM" : "RIFF";
    while (file.Read(offset, head, sizeof(head))) {
        if (std::memcmp(head, outer, 4) != 0)
            return offset == 0 ? Unknown() : Whole(); // what follows the outer chunks is not ours
        const std::uint32_t size = aiff ? std::uint32_t(Be(head + 4, 4)) : Le32(head + 4);
        if (size == 0 || size == 0xFFFFFFFFu)
            return Unknown(); // written while streaming, never fixed up
        if (size > file.Size() - offset - 8)
            return CutOff(aiff ? "its FORM chunk runs past the end of the file"
                               : "its RIFF chunk runs past the end of the file");
        offset += 8 + std::uint64_t(size) + (size & 1);
    }
    return Whole();
}

// Sun AU: a header, then the sound data of the size it states, or to the end of the file.
StructureEnd AuEnd(Window &file)
{
    unsigned char head[12];
    if (!file.Read(0, head, sizeof(head)) || std::memcmp(head, ".snd", 4) != 0)
        return Unknown();
    const std::uint64_t offset = Be(head + 4, 4), size = Be(head + 8, 4);
    if (size == 0xFFFFFFFFu)
        return Unknown();
    return offset + size > file.Size() ? CutOff("its sound data runs past the end of the file") : Whole();
}

// ASF (WMA, WMV): objects of a 16-byte type and a 64-bit size, the header's first.
StructureEnd AsfEnd(Window &file)
{
    static const unsigned char kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    std::uint64_t offset = 0;
    unsigned char head[24];
    while (offset < file.Size()) {
        if (!file.Read(offset, head, sizeof(head)))
            return offset == 0 ? Unknown() : CutOff("its last object is cut off in its header");
        if (offset == 0 && std::memcmp(head, kHeader, 16) != 0)
            return Unknown();
        const std::uint64_t size = std::uint64_t(Le32(head + 16)) | std::uint64_t(Le32(head + 20)) << 32;
        if (size < 24)
            return Unknown(); // written live, or damaged
        if (size > file.Size() - offset)
            return CutOff("its last object runs past the end of the file");
        offset += size;
    }
    return Whole();
}

StructureEnd IsoEnd(Window &file)
{
    std::uint64_t offset = 0;
    unsigned char head[16];
    while (offset + 8 <= file.Size()) {
        if (!file.Read(offset, head, 8))
            return Unknown();
        const char *type = reinterpret_cast<const char *>(head + 4);
        if (offset == 0 && std::memcmp(type, "ftyp", 4) != 0 && std::memcmp(type, "moov", 4) != 0
            && std::memcmp(type, "mdat", 4) != 0 && std::memcmp(type, "wide", 4) != 0
            && std::memcmp(type, "free", 4) != 0 && std::memcmp(type, "skip", 4) != 0)
            return Unknown(); // not ISO media
        std::uint64_t size = Be(head, 4);
        if (size == 0)
            return Whole(); // runs to the end of the file by definition
        if (size == 1) {
            if (!file.Read(offset + 8, head + 8, 8))
                return CutOff("its last box is cut off in its header");
            size = Be(head + 8, 8);
            if (size < 16)
                return Unknown();
        } else if (size < 8) {
            return Unknown(); // damaged, not short
        }
        if (size > file.Size() - offset)
            return CutOff("its last box runs past the end of the file");
        offset += size;
    }
    return Whole();
}

// An EBML number: an element's ID (its length marker kept) or size (all ones: unknown).
struct Vint {
    std::uint64_t value = 0;
    int length = 0;
    bool unknown = false;
};

enum class VintRead { Ok, Short, Bad };

VintRead ReadVint(Window &file, std::uint64_t offset, bool isId, Vint &v)
{
    unsigned char bytes[8];
    if (!file.Read(offset, bytes, 1))
        return VintRead::Short;
    int length = 1;
    while (length <= 8 && !(bytes[0] & (0x80 >> (length - 1))))
        ++length;
    if (length > (isId ? 4 : 8))
        return VintRead::Bad;
    if (!file.Read(offset, bytes, std::size_t(length)))
        return VintRead::Short;
    const unsigned mask = 0xFFu >> length;
    v = {isId ? bytes[0] : bytes[0] & mask, length, (bytes[0] & mask) == mask};
    for (int i = 1; i < length; ++i) {
        v.value = v.value << 8 | bytes[i];
        v.unknown = v.unknown && bytes[i] == 0xFF;
    }
    return VintRead::Ok;
}

// Matroska, WebM: the segment's size covers all it holds. A file written live leaves the
// segment's size (and maybe its clusters') unknown; then each element must fit.
StructureEnd MatroskaEnd(Window &file)
{
    constexpr std::uint64_t kHeader = 0x1A45DFA3, kSegment = 0x18538067, kCluster = 0x1F43B675;
    std::uint64_t offset = 0;
    while (offset < file.Size()) {
        Vint id, size;
        VintRead read = ReadVint(file, offset, true, id);
        if (read == VintRead::Ok)
            read = ReadVint(file, offset + std::uint64_t(id.length), false, size);
        if (read == VintRead::Bad || (offset == 0 && (read != VintRead::Ok || id.value != kHeader)))
            return Unknown();
        if (read == VintRead::Short)
            return CutOff("its last element is cut off in its header");
        const std::uint64_t data = offset + std::uint64_t(id.length + size.length);
        if (size.unknown) {
            if (id.value != kSegment && id.value != kCluster)
                return Unknown();
            offset = data; // its children follow
            continue;
        }
        if (size.value > file.Size() - data)
            return CutOff(id.value == kSegment   ? "its segment runs past the end of the file"
                          : id.value == kCluster ? "its last cluster runs past the end of the file"
                                                 : "its last element runs past the end of the file");
        if (id.value == kSegment)
            return Whole();
        offset = data + size.value;
    }
    return Whole();
}

// FLV: tags of a header and its data, each followed by its length.
StructureEnd FlvEnd(Window &file)
{
    unsigned char head[11];
    if (!file.Read(0, head, 9) || std::memcmp(head, "FLV", 3) != 0)
        return Unknown();
    std::uint64_t offset = Be(head + 5, 4) + 4; // the header, then a zero length
    if (offset < 13 || offset > file.Size())
        return Unknown();
    while (offset < file.Size()) {
        if (!file.Read(offset, head, sizeof(head)))
            return CutOff("its last tag is cut off in its header");
        const int type = head[0] & 0x1F;
        if (type != 8 && type != 9 && type != 18)
            return Unknown(); // no tag: padding or damage
        const std::uint64_t end = offset + 11 + Be(head + 1, 3);
        if (end > file.Size())
            return CutOff("its last tag runs past the end of the file");
        offset = end + 4; // a writer may leave out the last tag's length
    }
    return Whole();
}

// An MPEG audio frame's length in bytes from its header; 0 when the bytes are no header (or
// one of free bit rate, whose length only the next header tells).
std::uint32_t MpegFrameBytes(const unsigned char *h)
{
    static const int kKbit[5][14] = {
        {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
        {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
        {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
        {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2, 2.5 layer I
        {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2, 2.5 layers II, III
    };
    static const int kRates[3] = {44100, 48000, 32000};
    const int version = h[1] >> 3 & 3; // 0: MPEG-2.5, 2: MPEG-2, 3: MPEG-1
    const int layer = 4 - (h[1] >> 1 & 3);
    const int bitrate = h[2] >> 4, rateIndex = h[2] >> 2 & 3, padding = h[2] >> 1 & 1;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || version == 1 || layer == 4 || bitrate == 0 || bitrate == 15
        || rateIndex == 3)
        return 0;
    const bool mpeg1 = version == 3;
    const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bits = 1000 * kKbit[mpeg1 ? layer - 1 : layer == 1 ? 3 : 4][bitrate - 1];
    if (layer == 1)
        return std::uint32_t((12 * bits / rate + padding) * 4);
    return std::uint32_t((layer == 3 && !mpeg1 ? 72 : 144) * bits / rate + padding);
}

// MP3: frames from the first to the last, then perhaps tags.
StructureEnd Mp3End(Window &file)
{
    unsigned char h[10];
    std::uint64_t offset = 0;
    if (file.Read(0, h, 10) && std::memcmp(h, "ID3", 3) == 0)
        offset = 10 + ((h[6] & 0x7Fu) << 21 | (h[7] & 0x7Fu) << 14 | (h[8] & 0x7Fu) << 7 | (h[9] & 0x7Fu))
                 + (h[5] & 0x10 ? 10 : 0);
    const std::uint64_t first = offset;
    while (file.Read(offset, h, 4)) {
        const std::uint32_t bytes = MpegFrameBytes(h);
        if (bytes == 0)
            break;
        if (bytes > file.Size() - offset)
            return CutOff("its last frame runs past the end of the file");
        offset += bytes;
    }
    if (offset == first)
        return Unknown();
    if (offset == file.Size())
        return Whole();
    if (file.Size() - offset < 4)
        return file.Read(offset, h, 1) && h[0] == 0xFF ? CutOff("its last frame is cut off in its header") : Unknown();
    // After the frames only tags may follow; anything else is damage, not a cut.
    const std::uint64_t left = file.Size() - offset;
    if (file.Read(offset, h, std::min<std::uint64_t>(left, 8))
        && ((left == 128 && std::memcmp(h, "TAG", 3) == 0) || (left >= 8 && std::memcmp(h, "APETAGEX", 8) == 0)
            || (left >= 8 && std::memcmp(h, "LYRICS", 6) == 0) || std::memcmp(h, "ID3", 3) == 0))
        return Whole();
    return Unknown();
}

// FLAC: frames carry no length, but each ends in a CRC-16 of the whole frame. The last frame
// is found backwards from the end by its sync code and a header whose CRC-8 holds; a frame cut
// off fails its CRC-16.
StructureEnd FlacEnd(Window &file)
{
    unsigned char magic[4];
    if (!file.Read(0, magic, 4) || std::memcmp(magic, "fLaC", 4) != 0)
        return Unknown();
    std::uint64_t end = file.Size();
    unsigned char tag[3];
    if (end > 128 + 4 && file.Read(end - 128, tag, 3) && std::memcmp(tag, "TAG", 3) == 0)
        end -= 128;
    // Far more than the longest frame of any common encoder.
    const std::size_t span = std::size_t(std::min<std::uint64_t>(end - 4, 1 << 20));
    std::vector<unsigned char> tail(span);
    if (span < 16 || !file.Read(end - span, tail.data(), span))
        return Unknown();
    const auto crc = [](const unsigned char *p, std::size_t n, unsigned poly, int bits) {
        unsigned c = 0;
        const unsigned top = 1u << (bits - 1), mask = (1u << bits) - 1;
        for (std::size_t i = 0; i < n; ++i) {
            c ^= unsigned(p[i]) << (bits - 8);
            for (int k = 0; k < 8; ++k)
                c = (c & top ? c << 1 ^ poly : c << 1) & mask;
        }
        return c;
    };
    for (std::size_t at = span - 6; at-- > 0;) {
        const unsigned char *h = tail.data() + at;
        if (h[0] != 0xFF || (h[1] & 0xFE) != 0xF8 || (h[2] >> 4) == 0 || (h[2] & 0xF) == 0xF)
            continue;
        std::size_t length = 4;
        for (unsigned char lead = h[4]; lead & 0x80 && length < 11; lead <<= 1)
            ++length; // the UTF-8 coded frame or sample number
        length += (h[4] & 0x80) ? 0 : 1;
        length += (h[2] >> 4) == 6 ? 1 : (h[2] >> 4) == 7 ? 2 : 0;
        length += (h[2] & 0xF) == 12 ? 1 : (h[2] & 0xF) >= 13 ? 2 : 0;
        if (at + length + 3 > span || crc(h, length, 0x07, 8) != h[length])
            continue;
        const std::size_t frame = span - at;
        return crc(h, frame - 2, 0x8005, 16) == Be(h + frame - 2, 2) ? Whole() : CutOff("its last frame is incomplete");
    }
    return Unknown();
}

bool StartsWith(const std::string &text, const char *prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

StructureEnd ReadStructureEnd(const std::string &path, const std::string &format)
{
    Window file(path);
    if (file.Size() == 0)
        return Unknown();
    if (format == "wav" || format == "avi" || format == "aiff")
        return RiffEnd(file);
    if (format == "au")
        return AuEnd(file);
    if (format == "asf")
        return AsfEnd(file);
    if (format == "flac")
        return FlacEnd(file);
    if (StartsWith(format, "mov,"))
        return IsoEnd(file);
    if (StartsWith(format, "matroska"))
        return MatroskaEnd(file);
    if (format == "flv")
        return FlvEnd(file);
    if (format == "mp3")
        return Mp3End(file);
    return Unknown();
}

bool IsoMediaCutShort(const std::string &path)
{
    Window file(path);
    return IsoEnd(file).shape == Shape::CutOff;
}

} // namespace mencoder
