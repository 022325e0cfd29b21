#include "encode/encode_job.h"

#include <algorithm>
#include <cmath>

QString SourceExtOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {};
    return name.mid(dot + 1).toUpper().left(EncodeJob::kSourceExtSize - 1);
}

void ResolveJob(const EncodeSettings &settings, bool hdMode, EncodeJob &job)
{
    job.Format = hdMode ? QStringLiteral("MP4") : QStringLiteral("AVI");
    job.VCodec = (hdMode ? settings.HDVCodec : settings.SDVCodec).left(EncodeJob::kCodecSize - 1);
    job.SrcWidth = job.Facts.Video.Width;
    job.SrcHeight = job.Facts.Video.Height;
    job.VFps = 30.0f;
    job.VWidth = hdMode ? 1280 : 720;
    job.VHeight = hdMode ? 720 : 480;

    // The source keeps its own rate when it is known and below the profile's ceiling, but
    // never below the floor the output's size needs: a screen recording of 9 kbit/s encoded
    // at 9 kbit/s comes out flat grey, as the encoder's coarsest step is all it can afford.
    const int32_t ceiling = hdMode ? settings.HDVBitrate : settings.SDVBitrate;
    const int32_t floor = std::min(ceiling, hdMode ? kHdVideoFloorKbps : kSdVideoFloorKbps);
    const double sourceKbps = std::trunc(double(job.Facts.Video.BitRate) * 0.001);
    job.VBitrate = sourceKbps > 0.0 && sourceKbps < double(ceiling) ? std::max(floor, int32_t(sourceKbps)) : ceiling;

    job.Multicore = settings.Multicore;
    job.ACodec = (hdMode ? settings.HDACodec : settings.SDACodec).left(EncodeJob::kCodecSize - 1);
    job.ABitrate = 128;
    job.ASamplerate = 44100;
    job.Vol = 0;
    job.SourceFps = 23.976f;
}
