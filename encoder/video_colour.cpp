#include "encoder/video_colour.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace mencoder {

namespace {

// zscale names primaries, transfers and matrices by libavutil's numbers; ranges by its own.
std::string Num(int value) { return std::to_string(value); }
const char *Range(AVColorRange range) { return range == AVCOL_RANGE_JPEG ? "pc" : "tv"; }

bool IsRgb(AVPixelFormat format)
{
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
    return desc && (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
}

// Luma alone: no matrix to get wrong.
bool IsGray(AVPixelFormat format)
{
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
    return desc && desc->nb_components <= 2 && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
}

bool IsFullRangeFormat(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P: return true;
    default: return false;
    }
}

bool KnownMatrix(AVColorSpace m)
{
    switch (m) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_YCGCO:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return true;
    default: return false;
    }
}

// Transfers zscale can undo for a change of primaries; the SDR curves differ too little from
// BT.709's to matter when nothing else changes.
bool KnownSdrTransfer(AVColorTransferCharacteristic t)
{
    switch (t) {
    case AVCOL_TRC_BT709:
    case AVCOL_TRC_SMPTE170M:
    case AVCOL_TRC_GAMMA22:
    case AVCOL_TRC_GAMMA28:
    case AVCOL_TRC_IEC61966_2_1:
    case AVCOL_TRC_BT2020_10:
    case AVCOL_TRC_BT2020_12: return true;
    default: return false;
    }
}

bool IsHdr(AVColorTransferCharacteristic t) { return t == AVCOL_TRC_SMPTE2084 || t == AVCOL_TRC_ARIB_STD_B67; }

// Primaries wider than BT.709's; the SD sets (BT.470 BG, SMPTE 170M) are close enough that
// players show them as BT.709, and so do we.
bool IsWideGamut(AVColorPrimaries p)
{
    return p == AVCOL_PRI_BT2020 || p == AVCOL_PRI_SMPTE431 || p == AVCOL_PRI_SMPTE432;
}

// BT.470 BG and SMPTE 170M are one matrix under two names.
bool SameMatrix(AVColorSpace a, AVColorSpace b)
{
    const auto sd = [](AVColorSpace m) { return m == AVCOL_SPC_BT470BG || m == AVCOL_SPC_SMPTE170M; };
    return a == b || (sd(a) && sd(b));
}

// HDR white: BT.2408 puts SDR reference white at 203 cd/m2, and HLG at 75 % of its signal on a
// 1000 cd/m2 display, the same light. Highlights are taken to reach 1000 cd/m2, the usual
// mastering peak, when the stream says nothing else.
constexpr int kReferenceWhite = 203;
constexpr double kAssumedPeak = 1000.0 / kReferenceWhite;

} // namespace

VideoColour OutputColour(int frameHeight)
{
    if (frameHeight >= 720)
        return {AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG};
    return {AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG};
}

VideoColour SourceColour(const VideoColour &tagged, int height, AVPixelFormat format)
{
    VideoColour c = tagged;
    const bool hd = height >= 720;
    if (IsRgb(format)) {
        c.matrix = AVCOL_SPC_RGB;
        c.range = AVCOL_RANGE_JPEG;
    } else {
        if (!KnownMatrix(c.matrix))
            c.matrix = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        if (IsFullRangeFormat(format))
            c.range = AVCOL_RANGE_JPEG;
        else if (c.range != AVCOL_RANGE_JPEG)
            c.range = AVCOL_RANGE_MPEG;
    }
    if (c.primaries == AVCOL_PRI_UNSPECIFIED || c.primaries == AVCOL_PRI_RESERVED0 || c.primaries == AVCOL_PRI_RESERVED
        || c.primaries >= AVCOL_PRI_NB) {
        c.primaries = c.matrix == AVCOL_SPC_BT2020_NCL || c.matrix == AVCOL_SPC_BT2020_CL ? AVCOL_PRI_BT2020
                      : c.matrix == AVCOL_SPC_BT709 || c.matrix == AVCOL_SPC_RGB          ? AVCOL_PRI_BT709
                                                                                          : AVCOL_PRI_SMPTE170M;
    }
    if (!IsHdr(c.transfer) && !KnownSdrTransfer(c.transfer))
        c.transfer = c.primaries == AVCOL_PRI_BT709 ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    return c;
}

bool NeedsToneMapping(const VideoColour &source) { return IsHdr(source.transfer); }

namespace {

// Light in units of reference white, primaries mapped to BT.709's; mobius keeps everything up
// to half of white as it is and rolls the rest off towards the peak, hue and saturation kept
// (the same gain on all three channels, no desaturation). `in`: zscale's input options.
std::string ToLinearToneMapped(const std::string &in)
{
    return "zscale=" + in + ":p=" + Num(AVCOL_PRI_BT709) + ":t=" + Num(AVCOL_TRC_LINEAR)
           + ":npl=" + Num(kReferenceWhite)
           + ",format=gbrpf32le,tonemap=tonemap=mobius:param=0.5:desat=0:peak=" + std::to_string(kAssumedPeak);
}

} // namespace

std::string ToneMapSteps(const VideoColour &source)
{
    return ToLinearToneMapped("pin=" + Num(source.primaries) + ":tin=" + Num(source.transfer)
                              + ":min=" + Num(AVCOL_SPC_RGB) + ":rin=pc");
}

std::string ColourSteps(const VideoColour &source, AVPixelFormat format, const VideoColour &output,
                        const std::string &lutFile)
{
    const bool hdr = IsHdr(source.transfer);
    const bool gamut = IsWideGamut(source.primaries);
    // RGB sources reach limited-range 4:2:0 through swscale, whose default is the BT.601 matrix.
    const bool rgbAsSd = source.matrix == AVCOL_SPC_RGB && SameMatrix(output.matrix, AVCOL_SPC_SMPTE170M);
    const bool sameCoding =
        rgbAsSd || (source.range == output.range && (IsGray(format) || SameMatrix(source.matrix, output.matrix)));
    if (!hdr && !gamut && sameCoding)
        return {};

    const char *name = av_get_pix_fmt_name(format);
    // Keep the scaler from converting on its own (it would guess the range from the format).
    std::string steps = name ? std::string("format=") + name + "," : std::string();
    const std::string in = "pin=" + Num(source.primaries) + ":tin=" + Num(source.transfer)
                           + ":min=" + Num(source.matrix) + ":rin=" + Range(source.range);
    // Wide primaries are mapped to BT.709's in both profiles: SD's SMPTE 170M primaries are
    // shown as BT.709 by players, and mapping to them darkens what leaves their smaller gamut.
    const std::string mapped = Num(AVCOL_PRI_BT709);
    const std::string out = ":m=" + Num(output.matrix) + ":r=" + Range(output.range) + ",format=yuv420p";
    const std::string fromLinear = "zscale=pin=" + mapped + ":tin=" + Num(AVCOL_TRC_LINEAR) + ":min="
                                   + Num(AVCOL_SPC_RGB) + ":rin=pc:p=" + mapped + ":t=" + Num(output.transfer) + out;
    if (hdr && !lutFile.empty()) {
        // RGB in the source's own curve is all the LUT needs, and zscale gets there without
        // linear light. The LUT gives linear light, not the output's curve: near the edge of
        // BT.709's gamut a channel crosses zero inside one cell, and the curve's steep start
        // bent there would be off by up to a fifth of full scale. Float throughout, so that values a
        // shade below zero (noise at that edge) pass on as the direct way passes them.
        steps += "zscale=" + in + ":p=" + Num(source.primaries) + ":t=" + Num(source.transfer)
                 + ":m=" + Num(AVCOL_SPC_RGB) + ":r=pc,format=gbrpf32le,lut3d=file=" + lutFile + ":interp=tetrahedral,"
                 + fromLinear;
    } else if (hdr) {
        steps += ToLinearToneMapped(in) + "," + fromLinear;
    } else if (gamut) {
        steps += "zscale=" + in + ":p=" + mapped + ":t=" + Num(output.transfer) + out;
    } else {
        // Matrix and range only: same primaries and curve, so zscale stays out of linear light.
        steps += "zscale=" + in + ":p=" + Num(source.primaries) + ":t=" + Num(source.transfer) + out;
    }
    return steps;
}

} // namespace mencoder
