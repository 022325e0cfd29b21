#include "image/png_reduced.h"

#include <QFile>

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct FileClose {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

// libpng reports errors by longjmp; nothing with a destructor lives between setjmp and the
// calls that may jump, so the reading itself keeps to plain buffers owned outside.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngRead() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Failures are answered with a null image; libpng's own printing to standard error is left out.
void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

bool Decode(PngRead &r, std::FILE *file, int factor, QImage &out, std::vector<png_byte> &row,
            std::vector<quint32> &sums)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_init_io(r.png, file);
    png_read_info(r.png, r.info);
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    if (png_get_interlace_type(r.png, r.info) != PNG_INTERLACE_NONE || width == 0 || height == 0)
        return false;
    // Every colour type to 8-bit RGBA.
    png_set_expand(r.png);
    png_set_scale_16(r.png);
    png_set_gray_to_rgb(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != png_size_t(width) * 4)
        return false;

    const int outW = int((width + png_uint_32(factor) - 1) / png_uint_32(factor));
    const int outH = int((height + png_uint_32(factor) - 1) / png_uint_32(factor));
    out = QImage(outW, outH, QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull())
        return false;
    row.assign(png_size_t(width) * 4, 0);
    sums.assign(std::size_t(outW) * 4, 0);

    int rowsSummed = 0;
    for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(r.png, row.data(), nullptr);
        // Colours weighted by their opacity, so that transparent pixels lend no colour.
        const png_byte *p = row.data();
        for (int ox = 0; ox < outW; ++ox) {
            quint32 *s = &sums[std::size_t(ox) * 4];
            const int cols = std::min<int>(factor, int(width) - ox * factor);
            for (int k = 0; k < cols; ++k, p += 4) {
                s[0] += quint32(p[0]) * p[3];
                s[1] += quint32(p[1]) * p[3];
                s[2] += quint32(p[2]) * p[3];
                s[3] += p[3];
            }
        }
        ++rowsSummed;
        if (rowsSummed < factor && y + 1 < height)
            continue;
        uchar *line = out.scanLine(int(y / png_uint_32(factor)));
        for (int ox = 0; ox < outW; ++ox) {
            const int cols = std::min<int>(factor, int(width) - ox * factor);
            const quint32 n = quint32(cols * rowsSummed);
            quint32 *s = &sums[std::size_t(ox) * 4];
            for (int c = 0; c < 3; ++c)
                line[ox * 4 + c] = uchar((s[c] / 255 + n / 2) / n);
            line[ox * 4 + 3] = uchar((s[3] + n / 2) / n);
            s[0] = s[1] = s[2] = s[3] = 0;
        }
        rowsSummed = 0;
    }
    png_read_end(r.png, nullptr);
    return true;
}

} // namespace

QImage ReadPngReduced(const QString &path, int factor)
{
    // Sums of factor^2 pixels of 255 * 255 must fit 32 bits.
    if (factor < 1 || factor > 256)
        return {};
    const std::unique_ptr<std::FILE, FileClose> file(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file)
        return {};
    PngRead r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!r.png)
        return {};
    r.info = png_create_info_struct(r.png);
    if (!r.info)
        return {};
    QImage out;
    std::vector<png_byte> row;
    std::vector<quint32> sums;
    if (!Decode(r, file.get(), factor, out, row, sums))
        return {};
    return out;
}
