#include "encoder/joined_clock.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace mencoder {

namespace {

// ffmpeg's thresholds: a step of more than 10 s either way, or any step back of more than
// 0.1 s, is a new part rather than the stream's own timing.
constexpr std::int64_t kJump = 10 * AV_TIME_BASE;
constexpr std::int64_t kBack = AV_TIME_BASE / 10;

} // namespace

JoinedClock::JoinedClock(const AVInputFormat *format)
    : m_watched(format && (format->flags & AVFMT_TS_DISCONT))
{
}

bool JoinedClock::Carry(AVPacket &packet, const AVStream &stream)
{
    bool joined = false;
    if (m_watched && packet.dts != AV_NOPTS_VALUE && packet.stream_index >= 0) {
        if (std::size_t(packet.stream_index) >= m_tracks.size())
            m_tracks.resize(std::size_t(packet.stream_index) + 1);
        Track &t = m_tracks[std::size_t(packet.stream_index)];
        std::int64_t dts = av_rescale_q(packet.dts, stream.time_base, AV_TIME_BASE_Q) + m_offset;
        if (t.next != AV_NOPTS_VALUE) {
            const std::int64_t step = dts - t.next;
            if (step < -kJump || step > kJump || dts + kBack < t.latest) {
                m_offset -= step;
                dts -= step;
                joined = true;
            }
        }
        t.next = dts + av_rescale_q(packet.duration, stream.time_base, AV_TIME_BASE_Q);
        t.latest = t.latest == AV_NOPTS_VALUE ? dts : std::max(t.latest, dts);
    }
    if (m_offset != 0) {
        const std::int64_t shift = av_rescale_q(m_offset, AV_TIME_BASE_Q, stream.time_base);
        if (packet.dts != AV_NOPTS_VALUE)
            packet.dts += shift;
        if (packet.pts != AV_NOPTS_VALUE)
            packet.pts += shift;
    }
    return joined;
}

} // namespace mencoder
