#pragma once

// Tone mapping in one pass of our own: 10-bit 4:2:0 HDR pictures in to 8-bit 4:2:0 SDR out,
// doing the sums zscale, lut3d and zscale do in three (chroma upsampled, matrix, tetrahedral
// LUT, curve, matrix, chroma downsampled), so the pictures stay within rounding of theirs. It
// keeps each picture in cache between the steps, where the three filters pass whole float
// pictures from one to the next; that is most of what tone mapping cost.

#include "encoder/av_util.h"
#include "encoder/tone_map_lut.h"
#include "encoder/video_colour.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace mencoder {

class ToneMapPass {
public:
    // Whether pictures of `format`, sited `siting`, in `source` colours (as SourceColour fills
    // them) can go through the pass into `output` colours as `outFormat`; the rest take the
    // filters.
    static bool Fits(const VideoColour &source, AVPixelFormat format, AVChromaLocation siting,
                     const VideoColour &output, AVPixelFormat outFormat);

    ToneMapPass(const ToneMapTable &table, const VideoColour &source, const VideoColour &output);

    // The picture tone-mapped, with in's timing and the output's colour tags. A picture the
    // same as the last one (a repeat from a frame-rate change) gives the last result again.
    Frame Run(const AVFrame &in);

    // The plain C++ way even where the processor has a faster one: for tests to compare.
    void UsePlainCode() { m_fast = false; }

    // What the rows are made with; public for the row functions.
    struct Sums {
        float rv, gu, gv, bu;               // source matrix, YCbCr to RGB
        float kr, kg, kb, cbScale, crScale; // output matrix, RGB to YCbCr
        const float *lut4;                  // the table, r, g, b and 0 a node
        int size;                           // the table's points per side
        const float *octaves;               // for the output curve, see Curve()
    };

private:
    struct Rows;
    void LumaRow(const AVFrame &in, int row, Rows &rows, std::uint8_t *outY) const;
    void ChromaRow(Rows &rows, int k, int height, std::uint8_t *outU, std::uint8_t *outV) const;

    VideoColour m_output;
    std::vector<float> m_lut4;
    Sums m_sums{};
    bool m_fast = false;
    Frame m_lastIn, m_lastOut;
    // Output pictures come back here when the encoder is done with them: fresh memory for
    // each would be zeroed by the kernel, page by page, every time.
    struct PoolFree {
        void operator()(AVBufferPool *p) const { av_buffer_pool_uninit(&p); }
    };
    std::unique_ptr<AVBufferPool, PoolFree> m_pool;
    int m_poolWidth = 0, m_poolHeight = 0;
};

} // namespace mencoder
