#include "image/jpeg_frame.h"

#include <QFile>

#include <algorithm>

namespace {

struct Component {
    int h = 1, v = 1;
};

// Up to its frame header: segments are skipped by their lengths, as the decoder does.
qint64 FrameCoefficientBytes(const uchar *p, qint64 n)
{
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return 0;
    qint64 i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF)
            return 0;
        const uchar marker = p[i + 1];
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        const int length = (p[i + 2] << 8) | p[i + 3];
        if (length < 2 || i + 2 + length > n)
            return 0;
        const uchar *s = p + i + 4;
        // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            const bool progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            if (!progressive || length < 8)
                return 0;
            const qint64 height = (s[1] << 8) | s[2], width = (s[3] << 8) | s[4];
            const int count = s[5];
            if (count < 1 || length < 8 + 3 * count)
                return 0;
            Component parts[4];
            const int used = std::min(count, 4);
            int hMax = 1, vMax = 1;
            for (int c = 0; c < used; ++c) {
                parts[c].h = std::clamp(s[7 + 3 * c] >> 4, 1, 4);
                parts[c].v = std::clamp(s[7 + 3 * c] & 15, 1, 4);
                hMax = std::max(hMax, parts[c].h);
                vMax = std::max(vMax, parts[c].v);
            }
            // Blocks of 8 x 8 per component, padded to whole MCUs, 64 coefficients of 2 bytes.
            qint64 bytes = 0;
            for (int c = 0; c < used; ++c) {
                const qint64 mcusAcross = (width + 8 * hMax - 1) / (8 * hMax);
                const qint64 mcusDown = (height + 8 * vMax - 1) / (8 * vMax);
                bytes += mcusAcross * parts[c].h * mcusDown * parts[c].v * 64 * 2;
            }
            return bytes;
        }
        if (marker == 0xDA || marker == 0xD9)
            return 0; // scan data before any frame header
        i += 2 + length;
    }
    return 0;
}

} // namespace

qint64 JpegCoefficientBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // The frame header comes after the tables and metadata, which a segment length bounds.
    const QByteArray head = file.read(1 << 20);
    return FrameCoefficientBytes(reinterpret_cast<const uchar *>(head.constData()), head.size());
}
