#pragma once

#include <QString>
#include <cstdint>

// What MediaInfo says about one input file, named after the stream kind and parameter
// each answer comes from. A fact is absent when it is empty or 0. Audio facts describe
// the first audio track only.
struct MediaFacts {
    // Text capacities in UTF-16 units, terminator included: longer answers are cut to fit.
    static constexpr int kCodecIdSize = 100;
    static constexpr int kTextSize = 260;

    struct GeneralFacts {
        QString CodecID; // upper-cased, trimmed
        bool operator==(const GeneralFacts &) const = default;
    };
    struct VideoFacts {
        uint32_t Width = 0; // pixels
        uint32_t Height = 0;
        QString Format;         // e.g. "AVC"
        QString FrameRate_Mode; // e.g. "VFR"
        float BitRate = 0.0f;   // bits per second
        QString MuxingMode;     // e.g. "Header stripping"
        bool operator==(const VideoFacts &) const = default;
    };
    struct AudioFacts {
        QString MuxingMode;
        QString Format;
        bool operator==(const AudioFacts &) const = default;
    };

    GeneralFacts General;
    VideoFacts Video;
    AudioFacts Audio;

    bool operator==(const MediaFacts &) const = default;
};
