#pragma once

#include "encode/encode_settings.h"
#include "probe/media_facts.h"

#include <QString>
#include <cstdint>

// The choices resolved for one input file, read by the command-line builder. Lives only
// while one file's command line is prepared; window thread.
struct EncodeJob {
    static constexpr int kFormatSize = 60;
    static constexpr int kCodecSize = 20;
    static constexpr int kSourceExtSize = 10;

    QString Format;       // "MP4" or "AVI"; compared without regard to case
    QString VCodec;       // engine name
    int32_t VBitrate = 0; // kbit/s
    float VFps = 0.0f;    // output frame rate
    int32_t VWidth = 0;   // output frame
    int32_t VHeight = 0;
    uint32_t SrcWidth = 0; // source picture, 0 when unknown
    uint32_t SrcHeight = 0;
    bool Multicore = false;
    QString ACodec;
    int32_t ABitrate = 0;      // kbit/s
    int32_t ASamplerate = 0;   // Hz
    int32_t Vol = 0;           // dB
    QString SourceExt;         // upper-cased input extension
    float SourceFps = 0.0f;    // forced on inputs whose own rate is not trusted
    bool UseAVThreads = false; // set by the builder
    int32_t DecodeThreads = 0; // set by the builder
    MediaFacts Facts;
};

// The text after the file name's last ".", upper-cased; empty without a dot or when the
// only dot starts the name. Cut to the field size like any other text.
QString SourceExtOf(const QString &path);

// The lowest video rates, kbit/s, at which screen-recording-like and slideshow-like sources
// stay clean at each profile's size (every picture at 32 dB or more against the source, with
// H.264 at 1280 x 720 and at 720 x 480; the SD profile's MPEG-4 is clean at any rate).
constexpr int32_t kHdVideoFloorKbps = 100;
constexpr int32_t kSdVideoFloorKbps = 100;

// Fills the job's choices from the profile selected by hdMode and from the facts and
// SourceExt already in the job.
void ResolveJob(const EncodeSettings &settings, bool hdMode, EncodeJob &job);
