#include "image/picture_integrity.h"

#include <QFile>

#include <cstring>

namespace {

quint32 Le32(const uchar *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (quint32(p[3]) << 24); }
quint16 Le16(const uchar *p) { return quint16(p[0] | (p[1] << 8)); }

// From the start marker to the end marker. Segments are skipped by their lengths, so markers
// inside an EXIF thumbnail do not count; what follows the end marker (motion photos carry a
// video there) is not looked at.
bool JpegComplete(const uchar *p, qint64 n)
{
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    qint64 i = 2;
    while (i < n) {
        const void *ff = std::memchr(p + i, 0xFF, size_t(n - i));
        if (!ff)
            return false;
        i = static_cast<const uchar *>(ff) - p;
        while (i + 1 < n && p[i + 1] == 0xFF) // fill bytes
            ++i;
        if (i + 1 >= n)
            return false;
        const uchar marker = p[i + 1];
        i += 2;
        if (marker == 0xD9)
            return true;
        // Stuffed zero, restart markers, SOI and TEM stand alone; the others carry a length.
        if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01)
            continue;
        if (i + 2 > n)
            return false;
        const int length = (p[i] << 8) | p[i + 1];
        if (length < 2)
            return false;
        i += length;
    }
    return false;
}

// Uncompressed rows must all be there; run-length coded ones are left to the decoder.
bool BmpComplete(const uchar *p, qint64 n)
{
    if (n < 26 || p[0] != 'B' || p[1] != 'M')
        return false;
    const quint32 offset = Le32(p + 10);
    const quint32 headerSize = Le32(p + 14);
    qint64 width, height;
    quint32 bits, compression = 0;
    if (headerSize == 12) {
        width = Le16(p + 18);
        height = Le16(p + 20);
        bits = Le16(p + 24);
    } else {
        if (n < 34)
            return false;
        width = qint32(Le32(p + 18));
        height = qint32(Le32(p + 22));
        bits = Le16(p + 28);
        compression = Le32(p + 30);
    }
    const bool plainRows = compression == 0 || compression == 3 || compression == 6;
    if (!plainRows)
        return true;
    const qint64 stride = (qAbs(width) * bits + 31) / 32 * 4;
    return qint64(offset) + stride * qAbs(height) <= n;
}

// The first frame, whole: header, colour table, extensions, then the first image's data up
// to its terminating empty block. Later frames are not decoded, so they need not be whole.
bool GifComplete(const uchar *p, qint64 n)
{
    if (n < 13 || std::memcmp(p, "GIF", 3) != 0)
        return false;
    qint64 i = 13;
    if (p[10] & 0x80)
        i += 3LL << ((p[10] & 0x07) + 1);
    auto skipSubBlocks = [&]() {
        while (i < n) {
            const uchar size = p[i++];
            if (size == 0)
                return true;
            i += size;
        }
        return false;
    };
    while (i < n) {
        const uchar block = p[i++];
        if (block == 0x21) { // extension: label, then sub-blocks
            ++i;
            if (!skipSubBlocks())
                return false;
        } else if (block == 0x2C) { // image descriptor
            if (i + 9 > n)
                return false;
            const uchar packed = p[i + 8];
            i += 9;
            if (packed & 0x80)
                i += 3LL << ((packed & 0x07) + 1);
            ++i; // LZW minimum code size
            return skipSubBlocks();
        } else {
            return false; // trailer before any image, or garbage
        }
    }
    return false;
}

bool Complete(const uchar *p, qint64 n, const QByteArray &format)
{
    if (!p)
        return false;
    if (format == "jpeg")
        return JpegComplete(p, n);
    if (format == "bmp")
        return BmpComplete(p, n);
    return GifComplete(p, n);
}

bool Checked(const QByteArray &format) { return format == "jpeg" || format == "bmp" || format == "gif"; }

} // namespace

bool PictureLooksComplete(const QString &path, const QByteArray &format)
{
    if (!Checked(format))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 n = file.size();
    return Complete(n > 0 ? file.map(0, n) : nullptr, n, format);
}

bool PictureLooksComplete(const QByteArray &content, const QByteArray &format)
{
    return !Checked(format) || Complete(reinterpret_cast<const uchar *>(content.constData()), content.size(), format);
}
