#include "encoder/completeness.h"

#include "encoder/structure_end.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace mencoder {

namespace {

// Two frames or packets: a stream's last packet may carry no duration, and Matroska rounds
// its segment length to the millisecond. A file cut off loses far more than that.
constexpr double kToleranceSteps = 2.0;
constexpr double kRounding = 0.001;

bool StartsWith(const char *text, const char *prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

double Seconds(std::int64_t ticks, AVRational timeBase) { return double(ticks) * av_q2d(timeBase); }

// Matroska's per-track DURATION tag: "HH:MM:SS.nnnnnnnnn".
std::optional<double> TagSeconds(const AVDictionary *metadata)
{
    const AVDictionaryEntry *tag = av_dict_get(metadata, "DURATION", nullptr, 0);
    unsigned hours = 0, minutes = 0;
    double seconds = 0.0;
    if (!tag || std::sscanf(tag->value, "%u:%u:%lf", &hours, &minutes, &seconds) != 3)
        return std::nullopt;
    const double total = hours * 3600.0 + minutes * 60.0 + seconds;
    return total > 0 ? std::optional<double>(total) : std::nullopt;
}

std::uint32_t Le32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

std::string Clock(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f s", seconds);
    return text;
}

} // namespace

const Completeness::Track &Completeness::TrackOf(const AVStream *stream) const
{
    static const Track none;
    return stream->index < int(m_tracks.size()) ? m_tracks[std::size_t(stream->index)] : none;
}

Completeness::Track &Completeness::At(int index)
{
    if (index >= int(m_tracks.size()))
        m_tracks.resize(std::size_t(index) + 1);
    return m_tracks[std::size_t(index)];
}

void Completeness::ReadDeclared(const AVFormatContext *ctx, const std::string &path)
{
    const char *format = ctx->iformat->name;
    m_path = path;
    m_format = format;
    bool hasVideo = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        hasVideo = hasVideo || ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;

    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream *s = ctx->streams[i];
        Track &track = At(int(i));
        if (StartsWith(format, "avi")) {
            // The header's frame count; the demuxer's own duration is rebuilt from what is
            // present. Writers fill in the sound's count loosely (a late start counts the gap
            // the data lacks), so beside a picture only the pictures' count is held to.
            const bool counts = s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO || !hasVideo;
            if (counts && s->nb_frames > 0)
                track.declared = Seconds(s->nb_frames, s->time_base);
        } else if (StartsWith(format, "mov,") || StartsWith(format, "mp3")) {
            // A track's own length (MP4, MOV), or the frame count of an MP3's Xing header.
            if (s->duration > 0 && s->duration != AV_NOPTS_VALUE)
                track.declared = Seconds(s->duration, s->time_base);
        } else if (StartsWith(format, "matroska")) {
            track.declared = TagSeconds(s->metadata);
        } else if (StartsWith(format, "wav")) {
            track.declared = WavDeclaredSeconds(path);
        }
    }
    if (ctx->duration > 0 && ctx->duration != AV_NOPTS_VALUE)
        m_container = double(ctx->duration) / AV_TIME_BASE;
}

void Completeness::ReadProbed(const AVFormatContext *ctx)
{
    const char *format = ctx->iformat->name;
    // The formats above declare per stream, or FFmpeg rebuilds their lengths from what is
    // present; for the rest a length taken from the demuxer (not guessed from the bit rate or
    // the last timestamps) is the file's own.
    for (const char *own : {"avi", "wav", "mov,", "mp3", "matroska"})
        if (StartsWith(format, own))
            return;
    if (!m_container && ctx->duration > 0 && ctx->duration != AV_NOPTS_VALUE
        && ctx->duration_estimation_method == AVFMT_DURATION_FROM_STREAM)
        m_container = double(ctx->duration) / AV_TIME_BASE;
}

void Completeness::Count(const AVStream *stream, const AVPacket *packet)
{
    const std::int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (start == AV_NOPTS_VALUE)
        return;
    Track &track = At(stream->index);
    const double step = Seconds(std::max<std::int64_t>(packet->duration, 0), stream->time_base);
    track.reached = track.counted ? std::max(track.reached, Seconds(start, stream->time_base) + step)
                                  : Seconds(start, stream->time_base) + step;
    track.longestStep = std::max(track.longestStep, step);
    track.counted = true;
    track.lastPartial = packet->flags & AV_PKT_FLAG_CORRUPT;
}

std::optional<Completeness::Gap> Completeness::FindGap(const std::vector<const AVStream *> &converted) const
{
    // A picture's step is at least its frame interval: the last one often has no duration.
    const auto step = [](const AVStream *s, const Track &t) {
        double interval = 0.0;
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && s->r_frame_rate.num > 0 && s->r_frame_rate.den > 0)
            interval = av_q2d(av_inv_q(s->r_frame_rate));
        return std::max(t.longestStep, interval);
    };
    // A sound codec's start-up delay and end padding: a container may count them in its length
    // while FFmpeg moves the packets' times past them (Opus in Matroska).
    const auto padding = [](const AVStream *s) {
        const AVCodecParameters *p = s->codecpar;
        if (p->codec_type != AVMEDIA_TYPE_AUDIO || p->sample_rate <= 0)
            return 0.0;
        return double(std::max(p->initial_padding, 0) + std::max(p->trailing_padding, 0)) / p->sample_rate;
    };

    bool anyDeclared = false;
    for (const AVStream *s : converted) {
        const Track &t = TrackOf(s);
        if (!t.declared)
            continue;
        anyDeclared = true;
        if (t.reached < *t.declared - kToleranceSteps * step(s, t) - padding(s) - kRounding)
            return Gap{s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? "picture" : "sound", t.reached, *t.declared};
    }
    if (anyDeclared || !m_container)
        return std::nullopt;

    // Only the file as a whole has a length: one of its streams must reach it.
    double reached = 0.0, longest = 0.0, slack = 0.0;
    for (const AVStream *s : converted) {
        reached = std::max(reached, TrackOf(s).reached);
        longest = std::max(longest, step(s, TrackOf(s)));
        slack = std::max(slack, padding(s));
    }
    if (reached < *m_container - kToleranceSteps * longest - slack - kRounding)
        return Gap{nullptr, reached, *m_container};
    return std::nullopt;
}

Completeness::Verdict Completeness::Judge(const std::vector<const AVStream *> &converted, bool readFailed) const
{
    const std::optional<Gap> gap = FindGap(converted);
    if (!gap)
        return {};
    // Read only now: a whole file whose streams reach their lengths costs nothing.
    StructureEnd end = ReadStructureEnd(m_path, m_format);
    if (end.shape == StructureEnd::Shape::Unknown) {
        // No walk of the file's own structure: the demuxer is the witness.
        const bool partial =
            std::any_of(converted.begin(), converted.end(), [&](const AVStream *s) { return TrackOf(s).lastPartial; });
        if (readFailed)
            end = {StructureEnd::Shape::CutOff, "reading its last part failed"};
        else if (partial)
            end = {StructureEnd::Shape::CutOff, "its last packet is incomplete"};
    }
    const std::string kind = gap->kind ? gap->kind : "";
    if (end.shape == StructureEnd::Shape::CutOff)
        return {"the file is cut short: " + (gap->kind ? "its " + kind : "it") + " ends at " + Clock(gap->reached)
                    + " of the " + Clock(gap->declared) + " its header declares, and " + end.what,
                std::nullopt};
    return {std::nullopt,
            "the header declares " + Clock(gap->declared) + "; "
                + (gap->kind ? "the " + kind + " ends" : "the streams end") + " at " + Clock(gap->reached),
            gap->reached};
}

std::optional<double> WavDeclaredSeconds(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char riff[12];
    if (!in.read(reinterpret_cast<char *>(riff), sizeof(riff)) || std::memcmp(riff, "RIFF", 4) != 0
        || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::uint32_t byteRate = 0;
    // A few chunks (fmt, fact, LIST) come before the data; a damaged file ends the walk.
    for (int chunks = 0; chunks < 64; ++chunks) {
        unsigned char head[8];
        if (!in.read(reinterpret_cast<char *>(head), sizeof(head)))
            return std::nullopt;
        const std::uint32_t size = Le32(head + 4);
        if (std::memcmp(head, "data", 4) == 0) {
            // A size of 2 GiB or more is far likelier a recorder's stand-in (0x7FFFF000, all
            // ones) than a copy of so long a recording cut short.
            if (byteRate == 0 || size == 0 || size >= 0x7FFFF000u)
                return std::nullopt;
            return double(size) / byteRate;
        }
        if (std::memcmp(head, "fmt ", 4) == 0 && size >= 16) {
            unsigned char fmt[16];
            if (!in.read(reinterpret_cast<char *>(fmt), sizeof(fmt)))
                return std::nullopt;
            byteRate = Le32(fmt + 8);
            in.seekg(std::streamoff(size - 16 + (size & 1)), std::ios::cur);
        } else {
            in.seekg(std::streamoff(size) + (size & 1), std::ios::cur);
        }
    }
    return std::nullopt;
}

} // namespace mencoder
