#pragma once

// What the output's colours are and which filters bring a source there. Outputs are SDR and
// limited range: BT.709 from 720 lines up, BT.601 (SMPTE 170M) below. A source that already
// is that gets no filter at all, so its pictures come out exactly as they always did.
// Pure text from libavutil's colour enums; no FFmpeg calls.

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <string>

namespace mencoder {

struct VideoColour {
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
};

// The colours an output frame of that height is written in and tagged with.
VideoColour OutputColour(int frameHeight);

// A source's colours with the gaps filled as players fill them: an unknown matrix by the
// picture's height (720 lines and more: BT.709, else BT.601), primaries and transfer after
// the matrix, range limited unless the pixel format is a full-range (yuvj) one.
VideoColour SourceColour(const VideoColour &tagged, int height, AVPixelFormat format);

// PQ and HLG sources are tone-mapped to SDR.
bool NeedsToneMapping(const VideoColour &source);

// The tone mapping of an HDR source on its own: from full-range RGB (gbrpf32le) in the source's
// primaries and curve to linear light in BT.709 primaries, 1.0 being SDR white, highlights
// rolled off. What ColourSteps does to each picture without a LUT, and what a LUT is made of.
std::string ToneMapSteps(const VideoColour &source);

// Filters taking decoded pictures of `format` in `source` colours to 8-bit 4:2:0 in `output`
// colours, or "" when nothing needs converting. HDR (PQ, HLG) is tone-mapped to SDR and wide
// primaries mapped to the output's in linear light. For HDR, `lutFile` names a .cube file
// holding ToneMapSteps for this source; lut3d then stands for the tone mapping, between two
// zscale steps that stay out of linear light on the way in. Without one each picture is
// tone-mapped directly, at about twice the cost.
std::string ColourSteps(const VideoColour &source, AVPixelFormat format, const VideoColour &output,
                        const std::string &lutFile = {});

} // namespace mencoder
