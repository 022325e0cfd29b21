#pragma once

// Whether an input was read to the end its headers promise. A copy cut off in transfer still
// opens, and FFmpeg then works out the lengths from what is present; so the declared lengths
// are taken right after opening, before that, and each converted stream must reach its own
// within two of its frames or packets. A declared length alone is no proof: where the streams
// fall short, the file is cut short only if its own structure (or else the demuxer) shows a
// cut end; a file that ends whole is converted with a note. Lives on the thread that reads
// the input.

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

    // In words for the user: why the file is cut short, or else what its header overstates.
    // Both empty when every converted stream reached its declared end. Streams without a
    // declared length (MPEG-TS, MPEG-PS, raw) pass.
    struct Verdict {
        std::optional<std::string> cutShort;
        std::optional<std::string> note;
        double streamsEnd = 0.0; // with a note: where the streams end, seconds
    };
    // `readFailed`: the demuxer's last read near the end failed rather than reporting the end.
    Verdict Judge(const std::vector<const AVStream *> &converted, bool readFailed) const;

private:
    struct Track {
        std::optional<double> declared; // seconds, from the stream's own header entry
        double reached = 0.0;           // end of the latest packet, seconds of the stream's time
        double longestStep = 0.0;       // longest packet duration seen, seconds
        bool counted = false;
        bool lastPartial = false; // the latest packet came short of its stated size
    };
    // A converted stream (kind "picture" or "sound") or, without a kind, the file as a whole
    // falling short of its declared length.
    struct Gap {
        const char *kind;
        double reached;
        double declared;
    };
    Track &At(int index);
    const Track &TrackOf(const AVStream *stream) const;
    std::optional<Gap> FindGap(const std::vector<const AVStream *> &converted) const;

    std::vector<Track> m_tracks;
    std::optional<double> m_container; // the file's declared length when no stream has one
    std::string m_path;
    std::string m_format;
};

// The length a WAV file's data chunk declares, in seconds; nullopt without one (files
// written while recording leave 0, all ones or a stand-in of 2 GiB or more there).
std::optional<double> WavDeclaredSeconds(const std::string &path);

} // namespace mencoder
