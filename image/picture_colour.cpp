#include "image/picture_colour.h"

#include <QColorSpace>
#include <QFile>
#include <QtEndian>

#include <lcms2.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <future>
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
    double xy[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06}; // sRGB's
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
QByteArray PngProfile(QIODevice &file)
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
        if (!file.seek(file.pos() + 4)) // CRC
            return {};
    }
    return ProfileFromChunks(chrm, gama);
}

// A JPEG profile travels in APP2 segments of at most 64 kB each, numbered 1..n.
QByteArray JpegProfile(QIODevice &file)
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
        if (marker == 0xda || marker == 0xd9) // the picture data, or the end
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

// 8-bit RGB from a matrix-and-curves profile, in tables: LittleCMS's 8-bit transform costs
// ~10 ns a pixel, these ~3. Each code goes to linear light by its channel's own curve, times
// its column of the matrix, so a pixel is three sums; each sum, clipped to 0..1 as LittleCMS
// clips, finds its sRGB code in a table fine enough to stay within a code of LittleCMS's.
constexpr int kEncodeSteps = 1 << 14;

// Four floats in one register (GCC's and Clang's vectors): a pixel's three sums and a spare.
// Written as four scalars, GCC keeps them apart.
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int __attribute__((vector_size(16)));

struct FastRgb {
    Float4 columns[3][256]; // by source channel and code: what it adds to linear R, G, B
    Float4 offset;          // a black-point shift LittleCMS may put between the profiles
};

// Linear light to sRGB codes, by LittleCMS's sRGB curve: each step takes the code whose band
// holds it, the band's edges being the curve halfway between codes (256 evaluations of the
// curve rather than one a step).
const quint8 *SrgbEncodeTable()
{
    static const std::vector<quint8> table = [] {
        std::vector<quint8> t(kEncodeSteps + 1, 0);
        cmsToneCurve *curve = SrgbCurve();
        if (!curve)
            return t;
        float edges[255];
        for (int k = 0; k < 255; ++k)
            edges[k] = cmsEvalToneCurveFloat(curve, (float(k) + 0.5f) / 255.0f);
        cmsFreeToneCurve(curve);
        int code = 0;
        for (int i = 0; i <= kEncodeSteps; ++i) {
            const float v = float(i) / kEncodeSteps;
            while (code < 255 && v >= edges[code])
                ++code;
            t[size_t(i)] = quint8(code);
        }
        return t;
    }();
    return table.data();
}

// Rows of QImage's 32-bit words; alpha passes as it is. in and out may be the same row.
void ConvertRow(const FastRgb &f, const QRgb *in, QRgb *out, int width)
{
    const quint8 *encode = SrgbEncodeTable();
    constexpr int kChunk = 256;
    Int4 index[kChunk];
    const Float4 zero = {}, one = zero + 1.0f;
    for (int start = 0; start < width; start += kChunk) {
        const int n = std::min(kChunk, width - start);
        // The sums first, then the codes: the second loop reads the indices as plain integers.
        for (int x = 0; x < n; ++x) {
            const QRgb p = in[start + x];
            Float4 sum = f.columns[0][qRed(p)] + f.columns[1][qGreen(p)] + f.columns[2][qBlue(p)] + f.offset;
            // Written so that anything but a number between 0 and 1 still lands in the table.
            sum = sum > zero ? sum : zero;
            sum = sum < one ? sum : one;
            index[x] = __builtin_convertvector(sum * float(kEncodeSteps) + 0.5f, Int4);
        }
        for (int x = 0; x < n; ++x) {
            const QRgb p = in[start + x];
            out[start + x] = (p & 0xff000000u) | uint(encode[index[x][0]]) << 16 | uint(encode[index[x][1]]) << 8
                             | encode[index[x][2]];
        }
    }
}

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kArgb32 = TYPE_BGRA_8; // QImage's 0xAARRGGBB words, byte by byte
#else
constexpr cmsUInt32Number kArgb32 = TYPE_ARGB_8;
#endif
// Matrix profiles have no perceptual tables, so this is relative colorimetric for them, as
// colour-managed viewers do it; tabled profiles get their own perceptual mapping.
constexpr cmsUInt32Number kIntent = INTENT_PERCEPTUAL;
constexpr cmsUInt32Number kFlags = cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA;

// The tables are judged against the transform they stand for, on every code of each channel
// alone and of gray, and on a grid of colours: a profile they would misread keeps LittleCMS.
bool AgreesWithTransform(const FastRgb &f, cmsHTRANSFORM transform)
{
    std::vector<QRgb> in;
    for (int i = 0; i < 256; ++i)
        in.insert(in.end(), {qRgb(i, 0, 0), qRgb(0, i, 0), qRgb(0, 0, i), qRgb(i, i, i)});
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 17)
                in.push_back(qRgb(r, g, b));
    std::vector<QRgb> ours(in.size()), theirs(in.size());
    ConvertRow(f, in.data(), ours.data(), int(in.size()));
    cmsDoTransform(transform, in.data(), theirs.data(), cmsUInt32Number(in.size()));
    for (size_t i = 0; i < in.size(); ++i) {
        if (std::abs(qRed(ours[i]) - qRed(theirs[i])) > 1 || std::abs(qGreen(ours[i]) - qGreen(theirs[i])) > 1
            || std::abs(qBlue(ours[i]) - qBlue(theirs[i])) > 1)
            return false;
    }
    return true;
}

// The tables for a matrix-and-curves profile, or none: then its 8-bit transform does the work.
std::shared_ptr<const FastRgb> MakeFastRgb(cmsHPROFILE source, cmsHPROFILE srgb, cmsHTRANSFORM transform)
{
    if (!cmsIsMatrixShaper(source))
        return {};
    // Tables for an intent take precedence over the matrix in LittleCMS.
    for (const cmsTagSignature tag :
         {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag})
        if (cmsIsTag(source, tag))
            return {};
    cmsToneCurve *curves[3] = {};
    const cmsTagSignature trcs[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c)
        if (!(curves[c] = static_cast<cmsToneCurve *>(cmsReadTag(source, trcs[c]))))
            return {};
    auto *srgbCurve = static_cast<cmsToneCurve *>(cmsReadTag(srgb, cmsSigRedTRCTag));
    cmsHTRANSFORM exact =
        srgbCurve ? cmsCreateTransform(source, TYPE_RGB_DBL, srgb, TYPE_RGB_DBL, kIntent, cmsFLAGS_NOCACHE) : nullptr;
    if (!exact)
        return {};
    // Whatever LittleCMS puts between the curves (the profiles' matrices, a black-point shift)
    // is one affine map of linear light: it is read from LittleCMS's float transform of a gray
    // and of a step off it in each channel, all well inside sRGB so that nothing clips.
    constexpr float kBase = 0.5f, kStep = 0.6f;
    const double probe[4][3] = {
        {kBase, kBase, kBase}, {kStep, kBase, kBase}, {kBase, kStep, kBase}, {kBase, kBase, kStep}};
    double encoded[4][3];
    cmsDoTransform(exact, probe, encoded, 4);
    cmsDeleteTransform(exact);
    double linear[4][3];
    for (int k = 0; k < 4; ++k)
        for (int o = 0; o < 3; ++o)
            linear[k][o] = cmsEvalToneCurveFloat(srgbCurve, float(encoded[k][o]));

    double matrix[3][3], shift[3]; // linear sRGB = matrix * linear source + shift
    double base[3];
    for (int c = 0; c < 3; ++c) {
        base[c] = cmsEvalToneCurveFloat(curves[c], kBase);
        const double rise = cmsEvalToneCurveFloat(curves[c], kStep) - base[c];
        if (!(rise > 1e-3))
            return {};
        for (int o = 0; o < 3; ++o)
            matrix[o][c] = (linear[c + 1][o] - linear[0][o]) / rise;
    }
    for (int o = 0; o < 3; ++o)
        shift[o] = linear[0][o] - matrix[o][0] * base[0] - matrix[o][1] * base[1] - matrix[o][2] * base[2];

    auto f = std::make_shared<FastRgb>();
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 256; ++i) {
            const double v = cmsEvalToneCurveFloat(curves[c], float(i) / 255.0f);
            f->columns[c][i] = Float4{float(matrix[0][c] * v), float(matrix[1][c] * v), float(matrix[2][c] * v), 0.0f};
        }
    }
    f->offset = Float4{float(shift[0]), float(shift[1]), float(shift[2]), 0.0f};
    return AgreesWithTransform(*f, transform) ? f : nullptr;
}

// A transform for RGB pictures (and tables for 8-bit ones from matrix profiles), or a table
// for gray ones (one channel, one curve: a table of every value is exact). space is the
// profile's when pictures are converted; left 0 when they are kept as they are (sRGB, an
// unreadable profile, other colours than RGB and gray).
struct Conversion {
    cmsColorSpaceSignature space{};
    std::shared_ptr<void> transform;
    std::shared_ptr<const FastRgb> fast;
    std::vector<quint16> table;
};

bool IsSrgb(const QByteArray &icc)
{
    // Qt reads matrix-and-curve profiles and compares them by their values.
    const QColorSpace space = QColorSpace::fromIccProfile(icc);
    return space.isValid() && space == QColorSpace(QColorSpace::SRgb);
}

// deep: 16 bits a channel.
Conversion MakeConversion(const QByteArray &icc, bool deep)
{
    Conversion c;
    if (IsSrgb(icc))
        return c;
    LcmsProfile source(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
    if (!source)
        return c;
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    if (space == cmsSigGrayData) {
        cmsToneCurve *curve = SrgbCurve();
        LcmsProfile target(curve ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : nullptr);
        if (curve)
            cmsFreeToneCurve(curve);
        const cmsUInt32Number type = deep ? TYPE_GRAY_16 : TYPE_GRAY_8;
        cmsHTRANSFORM t =
            target ? cmsCreateTransform(source.get(), type, target.get(), type, kIntent, kFlags) : nullptr;
        if (!t)
            return c;
        const int n = deep ? 65536 : 256;
        if (!deep) {
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
        c.space = space;
        return c;
    }
    if (space != cmsSigRgbData)
        return c;
    LcmsProfile target(cmsCreate_sRGBProfile());
    cmsHTRANSFORM t =
        target ? cmsCreateTransform(source.get(), deep ? TYPE_RGBA_16 : kArgb32, target.get(), kArgb32, kIntent, kFlags)
               : nullptr;
    if (!t)
        return c;
    c.transform.reset(t, [](void *p) { cmsDeleteTransform(p); });
    if (!deep)
        c.fast = MakeFastRgb(source.get(), target.get(), t);
    c.space = space;
    return c;
}

// A run converts many pictures from the same camera or phone: reading a profile and making
// its transform cost more than converting a small output, so the last few are kept. Pictures
// are made two at once, and the first two of a run usually share their profile: one makes it
// and the other waits for it.
std::shared_ptr<const Conversion> CachedConversion(const QByteArray &icc, bool deep)
{
    using Made = std::shared_future<std::shared_ptr<const Conversion>>;
    struct Entry {
        QByteArray icc;
        bool deep;
        Made conversion;
    };
    static std::mutex mutex;
    static std::deque<Entry> cache;
    std::promise<std::shared_ptr<const Conversion>> promise;
    Made known;
    {
        std::lock_guard lock(mutex);
        for (const Entry &e : cache)
            if (e.deep == deep && e.icc == icc)
                known = e.conversion;
        if (!known.valid()) {
            cache.push_front({icc, deep, promise.get_future().share()});
            if (cache.size() > 8)
                cache.pop_back();
        }
    }
    if (known.valid())
        return known.get();
    try {
        auto made = std::make_shared<const Conversion>(MakeConversion(icc, deep));
        promise.set_value(made);
        return made;
    } catch (...) {
        // Out of memory: whoever waits fails as this picture does, and the next one tries again.
        {
            std::lock_guard lock(mutex);
            std::erase_if(cache, [&](const Entry &e) { return e.deep == deep && e.icc == icc; });
        }
        promise.set_exception(std::current_exception());
        throw;
    }
}

bool IsGray(QImage::Format f)
{
    return f == QImage::Format_Grayscale8 || f == QImage::Format_Grayscale16 || f == QImage::Format_Alpha8;
}

QImage GrayToSrgb(QImage image, const Conversion &c, bool deep)
{
    if (c.table.empty())
        return image;
    const quint16 *table = c.table.data();
    QImage out;
    if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16) {
        out = std::move(image); // in place unless shared; scanLine() detaches then
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
    return ReadColourProfile(file, format);
}

QByteArray ReadColourProfile(QIODevice &device, const QByteArray &format)
{
    if (!device.seek(0))
        return {};
    if (format == "png")
        return PngProfile(device);
    if (format == "jpeg" || format == "jpg")
        return JpegProfile(device);
    return {};
}

QImage ToSrgb(QImage image, const QByteArray &icc)
{
    if (icc.isEmpty() || image.isNull())
        return image;
    const bool deep = image.depth() > 32 || image.format() == QImage::Format_Grayscale16;
    const std::shared_ptr<const Conversion> c = CachedConversion(icc, deep);
    if (c->space == cmsSigGrayData)
        return GrayToSrgb(std::move(image), *c, deep);
    if (c->space != cmsSigRgbData || IsGray(image.format()) || !c->transform)
        return image;

    // Straight alpha: colours of half-covered pixels are converted as they are, not darkened.
    const bool alpha = image.hasAlphaChannel();
    const QImage::Format format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (c->fast) {
        // In place: the picture is most often the caller's own, just resampled.
        QImage out = std::move(image).convertToFormat(format);
        if (out.isNull() || !out.bits())
            return {};
        for (int y = 0; y < out.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
            ConvertRow(*c->fast, row, row, out.width());
        }
        out.setColorSpace(QColorSpace());
        return out;
    }
    const QImage source =
        image.convertToFormat(deep ? (alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64) : format);
    QImage out(image.size(), format);
    if (source.isNull() || out.isNull())
        return {};
    cmsDoTransformLineStride(c->transform.get(), source.constBits(), out.bits(), cmsUInt32Number(out.width()),
                             cmsUInt32Number(out.height()), cmsUInt32Number(source.bytesPerLine()),
                             cmsUInt32Number(out.bytesPerLine()), 0, 0);
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    return out;
}

bool ConvertsByTables(const QByteArray &icc) { return !icc.isEmpty() && CachedConversion(icc, false)->fast != nullptr; }
