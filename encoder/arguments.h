#pragma once

// The engine's command line, read token by token into one plain record. Every option the
// application's builder writes is understood here and turned into libav* terms (encoder
// names, bit rates in bit/s, codec option pairs); anything else is refused with a code.
// No FFmpeg and no Qt here, so the whole grammar is testable on its own.

#include "encoder/wide_name.h"
#include "engine/failure_codes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mencoder {

struct VideoFilterStep {
    enum class Kind { Scale, Expand, Crop, HardDup };
    Kind kind = Kind::Scale;
    int width = 0;
    int height = 0;
    int x = -1; // -1: centred (expand and crop only)
    int y = -1;
};

using OptionPairs = std::vector<std::pair<std::string, std::string>>;

struct EncoderChoice {
    std::string name;         // libavcodec encoder name; empty when none was chosen
    std::int64_t bitRate = 0; // bit/s; 0 leaves the encoder's default
    int threads = 0;          // 0: as many as the encoder likes
    bool globalHeader = false;
    int level = 0;       // codec level (H.264: 30 = 3.0); 0 unset
    int profile = -99;   // codec profile; -99 unset (libavcodec's "unknown")
    OptionPairs options; // passed to avcodec_open2 as they stand
};

struct EncodeOptions {
    std::string input;  // UTF-8 path
    std::string output; // UTF-8 path
    int pipeNumber = 0; // 0: standalone

    std::string demuxer;    // libavformat input format name; empty: probe
    double inputFps = 0.0;  // -fps: rate for inputs that carry no timestamps of their own
    double outputFps = 0.0; // -ofps: constant output rate; 0 keeps the source's timing
    std::vector<VideoFilterStep> videoFilters;
    double volumeDb = 0.0;
    int sampleRate = 0; // 0 keeps the source's

    EncoderChoice video;
    EncoderChoice audio;
    std::string fourcc;            // codec tag of the video stream; empty: the container's default
    std::string container = "avi"; // libavformat muxer name

    int decodeThreads = 0;     // 0: decoder chooses
    bool decodeThread = false; // decoding in a thread of its own
    bool filterThread = false; // video filtering in a thread of its own
    bool encodeThread = false; // encoding in a thread of its own
};

struct ParseResult {
    std::optional<EncodeOptions> options;
    engine::FailureCode code = engine::FailureCode::None;
    std::string message; // names the offending token
};

// args are the program's arguments after the program name.
ParseResult ParseArguments(const std::vector<std::string> &args);

} // namespace mencoder
