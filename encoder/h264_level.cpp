#include "encoder/h264_level.h"

#include <algorithm>
#include <cmath>

namespace mencoder {

namespace {

struct Level {
    int idc;
    std::int64_t macroblocksPerSecond;
    int frameMacroblocks;
    std::int64_t bitRateKbit; // Baseline and Main; High allows a quarter more, not counted on
    int bufferMacroblocks;
};

// H.264 Table A-1, without level 1b.
constexpr Level kLevels[] = {
    {10, 1485, 99, 64, 396},
    {11, 3000, 396, 192, 900},
    {12, 6000, 396, 384, 2376},
    {13, 11880, 396, 768, 2376},
    {20, 11880, 396, 2000, 2376},
    {21, 19800, 792, 4000, 4752},
    {22, 20250, 1620, 4000, 8100},
    {30, 40500, 1620, 10000, 8100},
    {31, 108000, 3600, 14000, 18000},
    {32, 216000, 5120, 20000, 20480},
    {40, 245760, 8192, 20000, 32768},
    {41, 245760, 8192, 50000, 32768},
    {42, 522240, 8704, 50000, 34816},
    {50, 589824, 22080, 135000, 110400},
    {51, 983040, 36864, 240000, 184320},
    {52, 2073600, 36864, 240000, 184320},
    {60, 4177920, 139264, 240000, 696320},
    {61, 8355840, 139264, 480000, 696320},
    {62, 16711680, 139264, 800000, 696320},
};

} // namespace

int H264Level(int width, int height, double framesPerSecond, std::int64_t bitRate, int bufferFrames)
{
    const std::int64_t across = (width + 15) / 16, down = (height + 15) / 16;
    const std::int64_t frame = across * down;
    const auto perSecond = std::int64_t(std::ceil(double(frame) * framesPerSecond));
    for (const Level &l : kLevels) {
        // Neither side of the picture may exceed the square root of eight frames' worth.
        const double side = std::sqrt(8.0 * l.frameMacroblocks);
        if (frame <= l.frameMacroblocks && double(across) <= side && double(down) <= side
            && perSecond <= l.macroblocksPerSecond && bitRate <= l.bitRateKbit * 1000
            && frame * bufferFrames <= l.bufferMacroblocks)
            return l.idc;
    }
    return 0;
}

int H264ReferenceFrames(int level, int width, int height)
{
    const std::int64_t frame = std::int64_t((width + 15) / 16) * ((height + 15) / 16);
    for (const Level &l : kLevels) {
        if (l.idc == level && frame > 0)
            return int(std::clamp<std::int64_t>(l.bufferMacroblocks / frame, 1, 16));
    }
    return 0;
}

} // namespace mencoder
