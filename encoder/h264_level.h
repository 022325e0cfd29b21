#pragma once

#include <cstdint>

namespace mencoder {

// The lowest H.264 level (level_idc: 31 = 3.1) whose limits hold a stream of this picture
// size, frame rate, average bit rate (bit/s) and decoded picture buffer (frames). Players that
// check the level refuse a stream that claims less than it needs. 0 when no level holds it.
int H264Level(int width, int height, double framesPerSecond, std::int64_t bitRate, int bufferFrames);

// The reference frames a stream of this picture size may keep at a level (level_idc), as x264
// limits them when asked for that level: the level's picture buffer over one picture, at least
// one, at most 16. 0 for a level not in the table.
int H264ReferenceFrames(int level, int width, int height);

} // namespace mencoder
