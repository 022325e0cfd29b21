#include "image/picture_colour.h"

#include <QColorSpace>
#include <QFile>
#include <QtEndian>

#include <lcms2.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Profiles past this are not profiles; nothing real comes near it.
constexpr qint64 kMaxProfileBytes = 16 * 1024 * 1024;

QByteArray Inflate(const QByteArray &packed)
{
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return {};
    QByteArray out;
    std::array<char, 64 * 1024> buffer{};
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.constData()));
    zs.avail_in = uInt(packed.size());
    int ret = Z_OK;
    while (ret == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef *>(buffer.data());
        zs.avail_out = uInt(buffer.size());
        ret = inflate(&zs, Z_NO_FLUSH);
        out.append(buffer.data(), qsizetype(buffer.size() - zs.avail_out));
        if (out.size() > kMaxProfileBytes)
            ret = Z_DATA_ERROR;
    }
    inflateEnd(&zs);
    return ret == Z_STREAM_END ? out : QByteArray();
}

quint32 Be32(const QByteArray &b, qsizetype at) { return qFromBigEndian<quint32>(b.constData() + at); }

struct LcmsProfileClose {
    void operator()(void *p) const { cmsCloseProfile(p); }
};
using LcmsProfile = std::unique_ptr<void, LcmsProfileClose>;

cmsToneCurve *SrgbCurve()
{
    const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, params);
}

// PNG without a profile may still name its primaries (cHRM) and its gamma (gAMA). The pair
// most encoders write for plain pictures, 1/2.2 with sRGB's primaries, is sRGB as browsers
// take it.
QByteArray ProfileFromChunks(const QByteArray &chrm, const QByteArray &gama)
{
    const double gamma = gama.size() == 4 ? Be32(gama, 0) / 100000.0 : 0.0;
    double xy[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};   // sRGB's
    const bool hasPrimaries = chrm.size() == 32;
    bool srgbPrimaries = true;
    if (hasPrimaries) {
        for (int i = 0; i < 8; ++i) {
            const double v = Be32(chrm, 4 * i) / 100000.0;
            srgbPrimaries = srgbPrimaries && std::abs(v - xy[i]) < 0.002;
            xy[i] = v;
        }
    }
    const bool srgbGamma = gamma <= 0.0 || std::abs(gamma - 1 / 2.2) < 0.005;
    if (srgbPrimaries && srgbGamma)
        return {};

    cmsToneCurve *curve = gamma > 0.0 ? cmsBuildGamma(nullptr, 1.0 / gamma) : SrgbCurve();
    if (!curve)
        return {};
    const cmsCIExyY white{xy[0], xy[1], 1.0};
    const cmsCIExyYTRIPLE primaries{{xy[2], xy[3], 1.0}, {xy[4], xy[5], 1.0}, {xy[6], xy[7], 1.0}};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    LcmsProfile profile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0)
        return {};
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(profile.get(), icc.data(), &size))
        return {};
    return icc;
}

// Chunks that describe colour come before the picture data; reading stops there.
QByteArray PngProfile(QFile &file)
{
    if (file.read(8) != QByteArray("\x89PNG\r\n\x1a\n", 8))
        return {};
    QByteArray chrm, gama;
    for (;;) {
        const QByteArray head = file.read(8);
        if (head.size() != 8)
            return {};
        const quint32 length = Be32(head, 0);
        const QByteArray type = head.mid(4);
        if (type == "IDAT" || type == "PLTE" || type == "IEND" || length > quint32(kMaxProfileBytes))
            break;
        if (type == "sRGB")
            return {};
        if (type == "iCCP" || type == "cHRM" || type == "gAMA") {
            const QByteArray data = file.read(length);
            if (data.size() != qsizetype(length))
                return {};
            if (type == "iCCP") {
                // Name (1-79 bytes), a zero, the compression method (0: zlib), the profile.
                const qsizetype nameEnd = data.indexOf('\0');
                if (nameEnd < 1 || nameEnd + 2 > data.size() || data[nameEnd + 1] != 0)
                    return {};
                return Inflate(data.mid(nameEnd + 2));
            }
            (type == "cHRM" ? chrm : gama) = data;
        } else if (!file.seek(file.pos() + length)) {
            return {};
        }
        if (!file.seek(file.pos() + 4))   // CRC
            return {};
    }
    return ProfileFromChunks(chrm, gama);
}

// A JPEG profile travels in APP2 segments of at most 64 kB each, numbered 1..n.
QByteArray JpegProfile(QFile &file)
{
    if (file.read(2) != QByteArray("\xff\xd8", 2))
        return {};
    std::map<int, QByteArray> parts;
    int count = 0;
    qint64 total = 0;
    for (;;) {
        char byte = 0;
        if (!file.getChar(&byte) || uchar(byte) != 0xff)
            break;
        uchar marker = 0xff;
        while (marker == 0xff) {
            if (!file.getChar(&byte))
                return {};
            marker = uchar(byte);
        }
        if (marker == 0xda || marker == 0xd9)   // the picture data, or the end
            break;
        if ((marker >= 0xd0 && marker <= 0xd7) || marker == 0x01)
            continue;
        const QByteArray len = file.read(2);
        if (len.size() != 2)
            return {};
        const int length = qFromBigEndian<quint16>(len.constData());
        if (length < 2)
            return {};
        if (marker == 0xe2 && length >= 16) {
            const QByteArray data = file.read(length - 2);
            if (data.size() != length - 2)
                return {};
            if (data.startsWith(QByteArray("ICC_PROFILE\0", 12))) {
                const int seq = uchar(data[12]);
                count = uchar(data[13]);
                total += data.size() - 14;
                if (total > kMaxProfileBytes)
                    return {};
                parts[seq] = data.mid(14);
            }
        } else if (!file.seek(file.pos() + length - 2)) {
            return {};
        }
    }
    QByteArray icc;
    for (int seq = 1; seq <= count; ++seq) {
        const auto part = parts.find(seq);
        if (part == parts.end())
            return {};
        icc += part->second;
    }
    return icc;
}

// ---- conversion ----

enum class Kind { Rgb8, Rgb16, Gray8, Gray16 };

// A transform for RGB pictures, or a table for gray ones (one channel, one curve: a table of
// every value is exact).
struct Conversion {
    std::shared_ptr<void> transform;
    std::vector<quint16> table;
};

Conversion MakeConversion(const QByteArray &icc, Kind kind)
{
    Conversion c;
    LcmsProfile source(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
    if (!source)
        return c;
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    const bool gray = kind == Kind::Gray8 || kind == Kind::Gray16;
    if (space != (gray ? cmsSigGrayData : cmsSigRgbData))
        return c;
    // Matrix profiles have no perceptual tables, so this is relative colorimetric for them,
    // as colour-managed viewers do it; tabled profiles get their own perceptual mapping.
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA;
    if (gray) {
        cmsToneCurve *curve = SrgbCurve();
        LcmsProfile target(curve ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : nullptr);
        if (curve)
            cmsFreeToneCurve(curve);
        const cmsUInt32Number type = kind == Kind::Gray8 ? TYPE_GRAY_8 : TYPE_GRAY_16;
        cmsHTRANSFORM t =
            target ? cmsCreateTransform(source.get(), type, target.get(), type, INTENT_PERCEPTUAL, flags) : nullptr;
        if (!t)
            return c;
        const int n = kind == Kind::Gray8 ? 256 : 65536;
        if (kind == Kind::Gray8) {
            std::vector<quint8> in(n), out(n);
            for (int i = 0; i < n; ++i)
                in[i] = quint8(i);
            cmsDoTransform(t, in.data(), out.data(), cmsUInt32Number(n));
            c.table.assign(out.begin(), out.end());
        } else {
            std::vector<quint16> in(n);
            c.table.resize(n);
            for (int i = 0; i < n; ++i)
                in[i] = quint16(i);
            cmsDoTransform(t, in.data(), c.table.data(), cmsUInt32Number(n));
        }
        cmsDeleteTransform(t);
        return c;
    }
    LcmsProfile target(cmsCreate_sRGBProfile());
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    const cmsUInt32Number argb32 = TYPE_BGRA_8;   // QImage's 0xAARRGGBB words, byte by byte
#else
    const cmsUInt32Number argb32 = TYPE_ARGB_8;
#endif
    const cmsUInt32Number in = kind == Kind::Rgb8 ? argb32 : TYPE_RGBA_16;
    cmsHTRANSFORM t = target ? cmsCreateTransform(source.get(), in, target.get(), argb32, INTENT_PERCEPTUAL, flags)
                             : nullptr;
    if (t)
        c.transform.reset(t, [](void *p) { cmsDeleteTransform(p); });
    return c;
}

// A run converts many pictures from the same camera or phone: making the transform costs
// more than converting a small output, so the last few are kept.
Conversion CachedConversion(const QByteArray &icc, Kind kind)
{
    struct Entry {
        QByteArray icc;
        Kind kind;
        Conversion conversion;
    };
    static std::mutex mutex;
    static std::deque<Entry> cache;
    {
        std::lock_guard lock(mutex);
        for (const Entry &e : cache)
            if (e.kind == kind && e.icc == icc)
                return e.conversion;
    }
    Conversion made = MakeConversion(icc, kind);
    std::lock_guard lock(mutex);
    cache.push_front({icc, kind, made});
    if (cache.size() > 8)
        cache.pop_back();
    return made;
}

bool IsSrgb(const QByteArray &icc)
{
    static std::mutex mutex;
    static QByteArray lastIcc;
    static bool lastAnswer = false;
    std::lock_guard lock(mutex);
    if (icc != lastIcc) {
        // Qt reads matrix-and-curve profiles and compares them by their values.
        const QColorSpace space = QColorSpace::fromIccProfile(icc);
        lastAnswer = space.isValid() && space == QColorSpace(QColorSpace::SRgb);
        lastIcc = icc;
    }
    return lastAnswer;
}

bool IsGray(QImage::Format f)
{
    return f == QImage::Format_Grayscale8 || f == QImage::Format_Grayscale16 || f == QImage::Format_Alpha8;
}

QImage GrayToSrgb(const QImage &image, const QByteArray &icc)
{
    const bool deep = image.depth() > 32 || image.format() == QImage::Format_Grayscale16;
    const Conversion c = CachedConversion(icc, deep ? Kind::Gray16 : Kind::Gray8);
    if (c.table.empty())
        return image;
    const quint16 *table = c.table.data();
    QImage out;
    if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16) {
        out = image.copy();
        for (int y = 0; y < out.height(); ++y) {
            if (deep) {
                auto *p = reinterpret_cast<quint16 *>(out.scanLine(y));
                for (int x = 0; x < out.width(); ++x)
                    p[x] = table[p[x]];
            } else {
                uchar *p = out.scanLine(y);
                for (int x = 0; x < out.width(); ++x)
                    p[x] = uchar(table[p[x]]);
            }
        }
    } else if (deep) {
        // Gray with alpha, decoded as RGBA: the same table on all three channels.
        out = image.convertToFormat(QImage::Format_RGBA64);
        for (int y = 0; y < out.height(); ++y) {
            auto *p = reinterpret_cast<QRgba64 *>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                p[x] = qRgba64(table[p[x].red()], table[p[x].green()], table[p[x].blue()], p[x].alpha());
        }
    } else {
        out = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < out.height(); ++y) {
            auto *p = reinterpret_cast<QRgb *>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                p[x] = qRgba(table[qRed(p[x])], table[qGreen(p[x])], table[qBlue(p[x])], qAlpha(p[x]));
        }
    }
    out.setColorSpace(QColorSpace());
    return out;
}

} // namespace

QByteArray ReadColourProfile(const QString &path, const QByteArray &format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (format == "png")
        return PngProfile(file);
    if (format == "jpeg" || format == "jpg")
        return JpegProfile(file);
    return {};
}

QImage ToSrgb(const QImage &image, const QByteArray &icc)
{
    if (icc.isEmpty() || image.isNull() || IsSrgb(icc))
        return image;
    LcmsProfile probe(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
    if (!probe)
        return image;
    const cmsColorSpaceSignature space = cmsGetColorSpace(probe.get());
    probe.reset();
    if (space == cmsSigGrayData)
        return GrayToSrgb(image, icc);
    if (space != cmsSigRgbData || IsGray(image.format()))
        return image;

    const bool alpha = image.hasAlphaChannel();
    const bool deep = image.depth() > 32;
    const Conversion c = CachedConversion(icc, deep ? Kind::Rgb16 : Kind::Rgb8);
    if (!c.transform)
        return image;
    // Straight alpha: colours of half-covered pixels are converted as they are, not darkened.
    const QImage source = image.convertToFormat(deep ? (alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                                                     : (alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32));
    QImage out(image.size(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (source.isNull() || out.isNull())
        return {};
    cmsDoTransformLineStride(c.transform.get(), source.constBits(), out.bits(), cmsUInt32Number(out.width()),
                             cmsUInt32Number(out.height()), cmsUInt32Number(source.bytesPerLine()),
                             cmsUInt32Number(out.bytesPerLine()), 0, 0);
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    return out;
}
