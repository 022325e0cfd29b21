#pragma once

// Turns the -vf steps into a libavfilter chain for one source picture. The steps were sized
// by the application from the stored picture size; when the picture is shown rotated or
// with non-square pixels, the scale step is fitted again to what the viewer sees, by the
// same rule, so the result stays upright and undistorted. Pure text; no FFmpeg calls.

#include "encoder/arguments.h"

#include <string>
#include <vector>

namespace mencoder {

struct SourcePicture {
    int width = 0;
    int height = 0;
    int sarNum = 0; // 0/x: unknown, taken as square
    int sarDen = 1;
    int rotation = 0; // clockwise degrees needed to show it upright: 0, 90, 180 or 270
};

// The size the scale step should have for a picture of displayW x displayH filling an
// outW x outH frame: the wider side is fitted, the other overflows (cropped) or falls short
// (padded); odd results are lowered by one. A ratio above 1.33 counts as wide.
void FitSize(int displayW, int displayH, int outW, int outH, int &w, int &h);

// Part of a picture, at even x and y; a width of 0 stands for all of it.
struct PictureWindow {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the chain is cut for steps the caller does itself; the steps after the cut go to
// `after`.
struct ChainCut {
    // Cut at the first scale step rather than after colour: the chain returned ends before
    // that step, and the caller scales to scaleW x scaleH and then converts the colours.
    bool atScale = false;
    int scaleW = 0, scaleH = 0; // 0 when there is no such step to cut at
    // The centred crop that follows the scale step, taken over too: x, y, width and height in
    // the scaled picture (a width of 0 when there is none).
    PictureWindow keep;
    std::string after;
};

// The chain, ending in even dimensions and square pixels where we set the geometry.
// forcedW/H > 0 scale the result to that size at the end (a stream that changed size
// mid-way must still fit the encoder opened for the first size). colour, when not empty,
// follows the first scale step, where the fewest pixels usually pass. With a cut, the chain
// returned ends where the cut is.
std::string VideoFilterChain(const std::vector<VideoFilterStep> &steps, const SourcePicture &source, int forcedW = 0,
                             int forcedH = 0, const std::string &colour = {}, ChainCut *cut = nullptr);

// Height of the frame the chain makes: the last crop, else the last expand, else the last
// scale, else the upright source.
int ChainFrameHeight(const std::vector<VideoFilterStep> &steps, const SourcePicture &source);

} // namespace mencoder
