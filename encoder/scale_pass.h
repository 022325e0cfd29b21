#pragma once

// Bicubic scaling of 8-bit 4:2:0 pictures in a pass of our own, where the scale filter would
// be. It weighs the pixels as swscale's bicubic does (B = 0, C = 0.6, the kernel widened by the
// ratio when shrinking, each plane on its own with centres aligned, edges repeated), so the
// pictures stay within rounding of the filter's. Columns are filtered first, down the rows:
// when shrinking, that leaves the costlier pass across a row with fewer rows to do, and the
// processor's vector code fits it with no gathering of pixels.

#include "encoder/av_util.h"
#include "encoder/picture_pool.h"
#include "encoder/video_chain.h"

#include <cstdint>
#include <vector>

namespace mencoder {

class ScalePass {
public:
    // Whether the pass takes inW x inH pictures of `format` to outW x outH, keeping `keep` of
    // them, and is the faster way there: when shrinking to a width swscale's AVX2 code does not
    // take (not a multiple of 16), or when the crop leaves at most two thirds of the columns.
    static bool Fits(AVPixelFormat format, int inW, int inH, int outW, int outH, const PictureWindow &keep);

    // `keep`, part of the scaled picture, is the crop that follows the scale step, done by
    // scaling only the pixels it keeps.
    ScalePass(int inW, int inH, int outW, int outH, PictureWindow keep = {});

    // The picture scaled (the window of it), with in's timing and tags; the pixel aspect ratio
    // follows the new shape, as the scale filter's does.
    Frame Run(const AVFrame &in);

    // The plain C++ way even where the processor has a faster one: for tests to compare.
    void UsePlainCode() { m_fast = false; }

    // Which input pixels make one output pixel, and their weights in 1/`one`.
    struct Filter {
        int taps = 0;                      // weights per output pixel
        std::vector<int> first;            // the first input pixel of each output pixel
        std::vector<std::int16_t> weights; // `taps` per output pixel
    };
    static Filter MakeFilter(int in, int out, int one);

private:
    struct Plane {
        int inX, inW, inH;    // the input columns the window takes
        int outY, outW, outH; // the window's first row and its size
        Filter columns;       // down the columns: which rows make an output row, in 1/16384
        Filter rows;          // across a row, in 1/32768, for the window's columns from inX
    };
    static Plane MakePlane(int inW, int inH, int outW, int outH, const PictureWindow &keep);
    void Down(const Plane &plane, const std::uint8_t *in, int inLine, int r, std::int16_t *row) const;
    void ScalePlane(const Plane &plane, const std::uint8_t *in, int inLine, std::uint8_t *out, int outLine);

    int m_scaledW, m_scaledH; // the whole scaled picture
    PictureWindow m_keep;
    Plane m_planes[2]; // luma, chroma
    bool m_fast;
    // Rows filtered down the columns (x * 64), those rows turned into columns of 16, and the
    // output columns: kept from picture to picture.
    std::vector<std::int16_t> m_rows, m_columns, m_across;
    PicturePool m_pictures;
};

} // namespace mencoder
