#include "probe/media_probe.h"

#include "platform/native_name.h"
#include "probe/number_text.h"

#include <algorithm>

namespace {

QString Fit(QString text, int size)
{
    if (text.size() > size - 1)
        text.truncate(size - 1);
    return text;
}

// Queries run in a fixed order; facts learnt before a failure are kept.
void AskQuestions(MediaInfoHandle &mi, MediaFacts &facts)
{
    using K = MediaInfoHandle;
    constexpr int kText = MediaFacts::kTextSize;

    facts.General.CodecID =
        Fit(mi.Get(K::General, 0, QStringLiteral("CodecID")).toUpper().trimmed(), MediaFacts::kCodecIdSize);
    facts.Video.Format = Fit(mi.Get(K::Video, 0, QStringLiteral("Format")), kText);
    // A negative size is no size.
    facts.Video.Width = uint32_t(std::max(0, ParseIntPrefix(mi.Get(K::Video, 0, QStringLiteral("Width")))));
    facts.Video.Height = uint32_t(std::max(0, ParseIntPrefix(mi.Get(K::Video, 0, QStringLiteral("Height")))));
    facts.Video.FrameRate_Mode = Fit(mi.Get(K::Video, 0, QStringLiteral("FrameRate_Mode")), kText);
    facts.Video.BitRate = float(ParseDoublePrefix(mi.Get(K::Video, 0, QStringLiteral("BitRate"))));
    facts.Video.MuxingMode = Fit(mi.Get(K::Video, 0, QStringLiteral("MuxingMode")), kText);
    facts.Audio.MuxingMode = Fit(mi.Get(K::Audio, 0, QStringLiteral("MuxingMode")), kText);
    facts.Audio.Format = Fit(mi.Get(K::Audio, 0, QStringLiteral("Format")), kText);
}

} // namespace

MediaRecord ProbeMedia(const QString &path, MediaInfoLibrary &library)
{
    MediaRecord record;
    try {
        MediaInfoHandle mi(library);
        // A library without Get would answer every question with its failure text.
        if (!mi.CanQuery())
            return record;
        // MediaInfo turns the name into bytes through the locale and loses those that are no UTF-8.
        const platform::ReadableName readable(path);
        if (mi.Open(readable.Path()) != 0) {
            AskQuestions(mi, record.facts);
            using K = MediaInfoHandle;
            MediaLength &length = record.length;
            length.seconds =
                std::max(0.0, ParseDoublePrefix(mi.Get(K::General, 0, QStringLiteral("Duration"))) / 1000.0);
            length.width = int(record.facts.Video.Width);
            length.height = int(record.facts.Video.Height);
            length.frameRate = std::max(0.0, ParseDoublePrefix(mi.Get(K::Video, 0, QStringLiteral("FrameRate"))));
        }
        mi.Close();
    } catch (...) {
        // The conversion goes on with whatever was learnt.
    }
    return record;
}
