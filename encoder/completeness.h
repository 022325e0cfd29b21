#pragma once

// Whether an input was read to the end its headers promise. A copy cut off in transfer still
// opens, and FFmpeg then works out the lengths from what is present; so the declared lengths
// are taken right after opening, before that, and each converted stream must reach its own
// within two of its frames or packets. Lives on the thread that reads the input.

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mencoder {

class Completeness {
public:
    // Right after avformat_open_input, before avformat_find_stream_info.
    void ReadDeclared(const AVFormatContext *ctx, const std::string &path);

    // Right after avformat_find_stream_info: some demuxers (FLV) read their declared length
    // only with the first packets.
    void ReadProbed(const AVFormatContext *ctx);

    // Every packet of a converted stream, as read.
    void Count(const AVStream *stream, const AVPacket *packet);

    // Empty when every converted stream reached its declared end; else what is missing, in
    // words for the user. Streams without a declared length (MPEG-TS, MPEG-PS, raw) pass.
    std::optional<std::string> Shortfall(const std::vector<const AVStream *> &converted) const;

private:
    struct Track {
        std::optional<double> declared; // seconds, from the stream's own header entry
        double reached = 0.0;           // end of the latest packet, seconds of the stream's time
        double longestStep = 0.0;       // longest packet duration seen, seconds
        bool counted = false;
    };
    Track &At(int index);

    std::vector<Track> m_tracks;
    std::optional<double> m_container; // the file's declared length when no stream has one
};

// The length a WAV file's data chunk declares, in seconds; nullopt without one (streamed
// files write 0 or all ones there).
std::optional<double> WavDeclaredSeconds(const std::string &path);

// True when the file is ISO media (MP4, MOV, 3GP) and one of its top-level boxes runs past
// the end of the file: it was cut off, also where the index it would need is missing.
bool IsoMediaCutShort(const std::string &path);

} // namespace mencoder
