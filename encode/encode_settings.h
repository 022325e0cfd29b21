#pragma once

#include <QString>
#include <cstdint>

// The remembered movie-mode choices: two output profiles (HD and SD), each with its own
// container extension, codecs and video bit-rate ceiling. Owned by the movie window,
// window thread. Text fields hold at most their size minus one UTF-16 units.
struct EncodeSettings {
    static constexpr int kFormatSize = 10;
    static constexpr int kPresetSize = 200;
    static constexpr int kCodecNameSize = 100; // VCodecD, ACodecD
    static constexpr int kCodecSize = 20;

    QString HDFormat; // HD output extension, "mp4"
    QString SDFormat; // SD output extension, "avi"
    QString Preset;   // kept with the settings only
    QString VCodecD;  // kept with the settings only
    QString HDVCodec; // engine names, e.g. "x264"
    QString SDVCodec;
    float VFps = 0.0f;      // remembered only; jobs always use 30
    int32_t HDVBitrate = 0; // kbit/s ceilings
    int32_t SDVBitrate = 0;
    int32_t VWidth = 0; // remembered only
    int32_t VHeight = 0;
    bool Multicore = false; // let x264 choose its thread count; never stored
    QString ACodecD;
    QString HDACodec;
    QString SDACodec;
    int32_t ABitrate = 0;    // remembered only
    int32_t ASamplerate = 0; // remembered only
    int32_t Vol = 0;         // dB, remembered only
    int32_t VBR = 0;

    // The first-run choices; frame size and profile name follow the HD/SD selection.
    void SetDefaults(bool hdMode);

    bool operator==(const EncodeSettings &) const = default;
};

// Subtitle values movie mode loads, defaults and saves for other users of the key.
struct SubtitleSettings {
    static constexpr int kFontPathSize = 260;

    int32_t UseSmi = 0;
    int32_t FontName = 0;
    float FontSize = 0.0f;
    int32_t SubPos = 0;
    QString FontPath;

    bool operator==(const SubtitleSettings &) const = default;
};

// General options of movie mode.
struct MovieOptions {
    static constexpr int kSaveFolderSize = 260;

    QString SaveFolder; // stored as "Save Folder"; ends with "/"
    int32_t MinTray = 0;

    bool operator==(const MovieOptions &) const = default;
};

// Everything movie mode keeps under its registry key.
struct MovieSettings {
    EncodeSettings encode;
    SubtitleSettings subtitle;
    MovieOptions options;

    bool operator==(const MovieSettings &) const = default;
};
