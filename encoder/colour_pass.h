#pragma once

// Colour conversion in one pass of our own, where the colour filters would be, doing the sums
// zscale (and lut3d) do in two or three passes, so the pictures stay within rounding of theirs
// while each picture stays in cache between the steps:
// - HDR tone mapping, 10-bit 4:2:0 in: chroma upsampled, matrix, tetrahedral LUT to linear
//   light, the output curve and matrix, chroma downsampled, 8-bit 4:2:0 out;
// - a change of matrix alone (BT.709 and BT.601), 8-bit 4:2:0 in and out: chroma upsampled,
//   both matrices, chroma downsampled.

#include "encoder/av_util.h"
#include "encoder/picture_pool.h"
#include "encoder/tone_map_lut.h"
#include "encoder/video_colour.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace mencoder {

class ColourPass {
public:
    // Whether pictures of `format`, sited `siting`, in `source` colours (as SourceColour fills
    // them) can go through the pass into `output` colours as `outFormat`, HDR ones with a LUT
    // from ToneMapLuts; the rest take the filters.
    static bool Fits(const VideoColour &source, AVPixelFormat format, AVChromaLocation siting,
                     const VideoColour &output, AVPixelFormat outFormat);

    // Whether the processor runs the pass's vector code (AVX2 and FMA). Without it the filters,
    // with vector code of their own, are faster than the pass's plain code.
    static bool Fast();

    // `table` for HDR sources, null for a change of matrix; it must outlive the pass.
    ColourPass(const ToneMapTable *table, const VideoColour &source, const VideoColour &output);
    ~ColourPass();

    static constexpr AVPixelFormat kOutputFormat = AV_PIX_FMT_YUV420P;

    // The picture converted, with in's timing and the output's colour tags.
    Frame Run(const AVFrame &in);

    // The plain C++ way even where the processor has a faster one: for tests to compare.
    void UsePlainCode() { m_fast = false; }

    // What the rows are made with; public for the row functions.
    struct Sums {
        float yOffset, yScale, cOffset, cScale; // source code values to 0..1 and -0.5..0.5
        float rv, gu, gv, bu;                   // source matrix, YCbCr to RGB
        float kr, kg, kb, cbScale, crScale;     // output matrix, RGB to YCbCr
        const float *lut4;                      // the table, r, g, b and 0 a node; null: matrix only
        int size;                               // the table's points per side
        const float *octaves;                   // for the output curve, see Curve()
    };

private:
    struct Rows;
    template <typename Sample>
    void UpsampleChroma(const AVFrame &in, int row, Rows &rows) const;
    void LumaRow(const AVFrame &in, int row, Rows &rows, std::uint8_t *outY) const;
    void ChromaRow(Rows &rows, int k, int height, std::uint8_t *outU, std::uint8_t *outV) const;

    VideoColour m_output;
    Sums m_sums{};
    bool m_fast = false;
    bool m_wide = false; // 10-bit HDR in, tone-mapped
    PicturePool m_pictures;
    std::unique_ptr<Rows> m_rows; // kept from picture to picture of one width
};

} // namespace mencoder
