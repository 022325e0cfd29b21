#pragma once

// Joined MPEG transport and program streams (a recording cut in parts, a DVD's VOB files one
// after the other) start their clock again where each part begins. The time is carried on
// across such a jump, as players and the ffmpeg command line do: otherwise every picture after
// it would come "before" the ones already shown and be dropped.

#include <cstdint>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace mencoder {

class JoinedClock {
public:
    // Only formats whose clock may jump (AVFMT_TS_DISCONT) are watched.
    explicit JoinedClock(const AVInputFormat *format);

    // Moves the packet's timestamps on past the parts before it; true when it begins a part.
    // For the streams converted only: a sparse stream's gaps are no jumps.
    bool Carry(AVPacket &packet, const AVStream &stream);

private:
    struct Track {
        std::int64_t next = AV_NOPTS_VALUE;   // where the stream's next packet should start, µs
        std::int64_t latest = AV_NOPTS_VALUE; // its latest start, µs
    };
    bool m_watched;
    std::int64_t m_offset = 0; // added to every timestamp, µs
    std::vector<Track> m_tracks;
};

} // namespace mencoder
