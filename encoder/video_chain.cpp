#include "encoder/video_chain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace mencoder {

void FitSize(int displayW, int displayH, int outW, int outH, int &w, int &h)
{
    if (displayW <= 0 || displayH <= 0) {
        w = outW;
        h = outH;
    } else if (double(displayW) / double(displayH) > 1.33) {
        h = outH;
        w = int(std::int64_t(displayW) * outH / displayH);
    } else {
        w = outW;
        h = int(std::int64_t(outW) * displayH / displayW);
    }
    w -= w % 2;
    h -= h % 2;
}

int ChainFrameHeight(const std::vector<VideoFilterStep> &steps, const SourcePicture &source)
{
    using Kind = VideoFilterStep::Kind;
    int crop = 0, expand = 0, scale = 0;
    for (const VideoFilterStep &s : steps) {
        if (s.kind == Kind::Crop)
            crop = s.height;
        else if (s.kind == Kind::Expand)
            expand = s.height;
        else if (s.kind == Kind::Scale)
            scale = s.height;
    }
    if (const int height = crop > 0 ? crop : expand > 0 ? expand : scale; height > 0)
        return height;
    return source.rotation == 90 || source.rotation == 270 ? source.width : source.height;
}

std::string VideoFilterChain(const std::vector<VideoFilterStep> &steps, const SourcePicture &source, int forcedW,
                             int forcedH, const std::string &colour, ChainCut *cut)
{
    using Kind = VideoFilterStep::Kind;
    std::vector<std::string> parts;
    if (source.rotation == 90)
        parts.emplace_back("transpose=clock");
    else if (source.rotation == 180)
        parts.emplace_back("hflip,vflip");
    else if (source.rotation == 270)
        parts.emplace_back("transpose=cclock");

    // What the viewer sees, before any scaling.
    int displayW = source.width;
    int displayH = source.height;
    if (source.sarNum > 0 && source.sarDen > 0 && source.sarNum != source.sarDen)
        displayW = int(std::lround(double(source.width) * source.sarNum / source.sarDen));
    if (source.rotation == 90 || source.rotation == 270)
        std::swap(displayW, displayH);
    const bool reshaped = displayW != source.width || displayH != source.height;

    // The frame the chain fills: the last crop, else the last expand.
    int frameW = 0, frameH = 0;
    for (const VideoFilterStep &s : steps) {
        if (s.kind == Kind::Crop || (s.kind == Kind::Expand && frameW == 0)) {
            frameW = s.width;
            frameH = s.height;
        }
    }
    bool squarePixels = false;
    bool coloured = colour.empty();
    std::size_t colourEnd = 0;      // parts up to the colour step
    std::size_t scaleAt = SIZE_MAX; // the first scale step
    int scaleW = 0, scaleH = 0;
    std::vector<const VideoFilterStep *> framing; // the expand or crop step of each part, if any
    const auto addColour = [&] {
        if (!coloured) {
            parts.push_back(colour);
            colourEnd = parts.size();
        }
        coloured = true;
    };
    for (const VideoFilterStep &s : steps) {
        const std::string w = std::to_string(s.width), h = std::to_string(s.height);
        switch (s.kind) {
        case Kind::Scale: {
            int sw = s.width, sh = s.height;
            if (reshaped && frameW > 0)
                FitSize(displayW, displayH, frameW, frameH, sw, sh);
            else if (source.rotation == 90 || source.rotation == 270)
                std::swap(sw, sh);
            if (scaleAt == SIZE_MAX) {
                scaleAt = parts.size();
                scaleW = sw;
                scaleH = sh;
            }
            parts.push_back("scale=" + std::to_string(sw) + ":" + std::to_string(sh) + ":flags=bicubic");
            squarePixels = squarePixels || frameW > 0;
            addColour();
            break;
        }
        case Kind::Expand:
            addColour();
            framing.resize(parts.size());
            framing.push_back(&s);
            parts.push_back("pad=w='max(iw," + w + ")':h='max(ih," + h
                            + ")':x=" + (s.x >= 0 ? std::to_string(s.x) : "(ow-iw)/2")
                            + ":y=" + (s.y >= 0 ? std::to_string(s.y) : "(oh-ih)/2"));
            break;
        case Kind::Crop:
            addColour();
            framing.resize(parts.size());
            framing.push_back(&s);
            parts.push_back("crop=w='min(iw," + w + ")':h='min(ih," + h + ")'"
                            + (s.x >= 0 ? ":x=" + std::to_string(s.x) : "")
                            + (s.y >= 0 ? ":y=" + std::to_string(s.y) : ""));
            break;
        case Kind::HardDup: break; // the output rate is constant whenever -ofps is given
        }
    }
    addColour();
    // 4:2:0 encoders need even sizes; a centred one-pixel cut is invisible.
    parts.emplace_back("crop=trunc(iw/2)*2:trunc(ih/2)*2");
    if (forcedW > 0 && forcedH > 0)
        parts.push_back("scale=" + std::to_string(forcedW) + ":" + std::to_string(forcedH) + ":flags=bicubic");
    if (squarePixels)
        parts.emplace_back("setsar=1");

    const auto join = [&parts](std::size_t from, std::size_t to) {
        std::string chain;
        for (std::size_t i = from; i < to; ++i)
            chain += (chain.empty() ? "" : ",") + parts[i];
        return chain;
    };
    if (!cut)
        return join(0, parts.size());
    if (!cut->atScale) {
        cut->after = join(colourEnd, parts.size());
        return join(0, colourEnd);
    }
    // The colour step, if any, must come right after the scale step the caller takes over.
    const bool cuttable = scaleAt != SIZE_MAX && (colour.empty() || colourEnd == scaleAt + 2);
    cut->scaleW = cuttable ? scaleW : 0;
    cut->scaleH = cuttable ? scaleH : 0;
    if (!cuttable)
        return join(0, parts.size());
    std::size_t next = scaleAt + (colour.empty() ? 1 : 2);
    // A centred crop right after the scale step (past an expand the scaled picture already
    // fills) is the caller's too: it scales only the pixels the crop keeps.
    const auto centred = [&](Kind kind) {
        const VideoFilterStep *s = next < framing.size() ? framing[next] : nullptr;
        return s && s->kind == kind && s->x < 0 && s->y < 0 ? s : nullptr;
    };
    if (const VideoFilterStep *e = centred(Kind::Expand); e && scaleW >= e->width && scaleH >= e->height)
        ++next;
    if (const VideoFilterStep *c = centred(Kind::Crop)) {
        const int w = std::min(scaleW, c->width), h = std::min(scaleH, c->height);
        if (w > 0 && h > 0 && w % 2 == 0 && h % 2 == 0) {
            // As the crop filter places it: centred, rounded down to whole chroma pixels.
            cut->keep = {((scaleW - w) / 2) & ~1, ((scaleH - h) / 2) & ~1, w, h};
            ++next;
        }
    }
    if (cut->keep.width == 0)
        next = scaleAt + (colour.empty() ? 1 : 2); // an expand that is not followed by a crop stays
    cut->after = join(next, parts.size());
    return join(0, scaleAt);
}

} // namespace mencoder
