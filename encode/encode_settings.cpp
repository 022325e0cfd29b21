#include "encode/encode_settings.h"

void EncodeSettings::SetDefaults(bool hdMode)
{
    HDFormat = QStringLiteral("mp4");
    SDFormat = QStringLiteral("avi");
    Preset = hdMode ? QStringLiteral("qvmedia_high") : QStringLiteral("qvmedia_medium");
    VCodecD.clear();
    HDVCodec = QStringLiteral("x264");
    SDVCodec = QStringLiteral("dx50");
    VFps = 30.0f;
    HDVBitrate = 5000;
    SDVBitrate = 1200;
    VWidth = hdMode ? 1280 : 720;
    VHeight = hdMode ? 720 : 480;
    Multicore = false;
    ACodecD.clear();
    HDACodec = QStringLiteral("faac");
    SDACodec = QStringLiteral("mp3lame");
    ABitrate = 128;
    ASamplerate = 44100;
    Vol = 0;
    VBR = 0;
}
