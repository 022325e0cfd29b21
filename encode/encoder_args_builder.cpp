#include "encode/encoder_args_builder.h"

#include "encode/base64.h"
#include "platform/native_name.h"

#include <QByteArray>
#include <algorithm>
#include <initializer_list>
#include <limits>
#include <locale>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// Codec and format names are matched in ASCII only, so that no Unicode case folding
// lets an odd registry text pass as a known name.
bool SameAsciiNoCase(const QString &text, std::string_view name)
{
    if (text.size() != qsizetype(name.size()))
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = text.at(qsizetype(i)).unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        char n = name[i];
        if (n >= 'A' && n <= 'Z')
            n = char(n - 'A' + 'a');
        if (c != char16_t(n))
            return false;
    }
    return true;
}

bool IsAnyOf(const QString &text, std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names) {
        if (SameAsciiNoCase(text, name))
            return true;
    }
    return false;
}

enum class InputKind { None, MP4, MKV, FLV, MOV };

InputKind KindOf(const QString &sourceExt)
{
    if (sourceExt == QLatin1String("MP4"))
        return InputKind::MP4;
    if (sourceExt == QLatin1String("MKV"))
        return InputKind::MKV;
    if (sourceExt == QLatin1String("FLV"))
        return InputKind::FLV;
    if (sourceExt == QLatin1String("MOV"))
        return InputKind::MOV;
    return InputKind::None;
}

std::string Num(int64_t value) { return std::to_string(value); }

std::string VideoOptions(const EncodeJob &job)
{
    const std::string v = Num(job.VBitrate);
    const QString &codec = job.VCodec;
    const std::string name = codec.toLocal8Bit().toStdString();
    if (SameAsciiNoCase(codec, "xvid"))
        return ",-ovc,xvid,-xvidencopts,max_bframes=0:bitrate=" + v;
    if (SameAsciiNoCase(codec, "divx4"))
        return ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=" + v + ",-ffourcc,DIVX";
    if (SameAsciiNoCase(codec, "dx50"))
        return ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=" + v + ",-ffourcc,DX50";
    if (SameAsciiNoCase(codec, "mpeg4")) {
        std::string text = ",-ovc,lavc,-lavcopts,vcodec=" + name + ":vbitrate=" + v + ":threads=2";
        if (!SameAsciiNoCase(job.Format, "avi"))
            text += ":aglobal=1:vglobal=1";
        return text + ",-ffourcc,mp4v";
    }
    if (SameAsciiNoCase(codec, "msmpeg4v2"))
        return ",-ovc,lavc,-lavcopts,vcodec=" + name + ":vbitrate=" + v;
    if (SameAsciiNoCase(codec, "msmpeg4"))
        return ",-ovc,lavc,-lavcopts,vcodec=" + name + ":vbitrate=" + v + ",-ffourcc,mp43";
    if (SameAsciiNoCase(codec, "flv"))
        return ",-ovc,lavc,-lavcopts,vcodec=flv:vbitrate=" + v
               + ",-ffourcc,flv1,-lavcopts,mbd=2:mv0:trell:v4mv:cbp:last_pred=3";
    if (SameAsciiNoCase(codec, "x264")) {
        std::string text = ",-ovc,x264,-x264encopts,bitrate=" + v + ":global_header:level_idc=30:subq=1";
        if (job.Multicore)
            text += ":threads=auto";
        return text;
    }
    return {};
}

std::string AudioOptions(const EncodeJob &job)
{
    const std::string a = Num(job.ABitrate);
    const QString &codec = job.ACodec;
    if (SameAsciiNoCase(codec, "mp3lame"))
        return ",-oac,mp3lame,-lameopts,br=" + a + ":cbr";
    if (SameAsciiNoCase(codec, "ac3"))
        return ",-oac,lavc,-lavcopts,acodec=ac3:abitrate=" + a;
    // The MP4 container is chosen here and only here, by the AAC encoder.
    if (SameAsciiNoCase(codec, "faac"))
        return ",-oac,faac,-faacopts,mpeg=4:object=2:raw:br=" + a + ",-of,lavf,-lavfopts,format=mp4";
    if (SameAsciiNoCase(codec, "mp2"))
        return ",-oac,lavc,-lavcopts,acodec=mp2:abitrate=" + a;
    return {};
}

} // namespace

EncoderArgsBuilder::EncoderArgsBuilder(int processorCount)
    : m_processors(processorCount < 1 ? 1 : processorCount)
{
}

int EncoderArgsBuilder::SystemProcessorCount()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(n);
}

std::string EncoderArgsBuilder::FormatFloat(float value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

EncoderArgsBuilder::Size EncoderArgsBuilder::FittedSize(uint32_t srcWidth, uint32_t srcHeight, int32_t width,
                                                        int32_t height)
{
    // 64-bit products so that absurd source sizes cannot overflow; the results are
    // what 32-bit arithmetic gives for every real picture size.
    int64_t w = width;
    int64_t h = height;
    if (srcWidth != 0 && srcHeight != 0) {
        const double ratio = double(srcWidth) / double(srcHeight);
        if (ratio > 1.33) {
            h = height;
            w = int64_t(srcWidth) * height / int64_t(srcHeight);
        } else {
            w = width;
            h = int64_t(srcHeight) * width / int64_t(srcWidth);
        }
    }
    // No real picture comes near; an absurd one gets an absurd but well-defined size.
    w = std::min<int64_t>(w, std::numeric_limits<int32_t>::max());
    h = std::min<int64_t>(h, std::numeric_limits<int32_t>::max());
    if (w % 2 != 0)
        w -= 1;
    if (h % 2 != 0)
        h -= 1;
    return {int32_t(w), int32_t(h)};
}

std::string EncoderArgsBuilder::Build(EncodeJob &job) const
{
    const MediaFacts &facts = job.Facts;
    job.UseAVThreads = !(IsAnyOf(facts.Video.Format, {"", "None", "Unknown"})
                         || IsAnyOf(facts.Audio.Format, {"", "None", "Unknown", "sqcp", "AMR"}));
    job.DecodeThreads = 0;
    if (SameAsciiNoCase(facts.Video.Format, "AVC"))
        job.DecodeThreads = m_processors >= 8 ? 8 : m_processors == 1 ? 0 : m_processors;

    std::string text = "-mc,0,";

    const InputKind kind = KindOf(job.SourceExt);
    const QString headerStripping = QStringLiteral("Header stripping");
    if (facts.Video.FrameRate_Mode == QLatin1String("VFR") && kind == InputKind::MP4) {
        text += "-demuxer,mov,";
    } else if (kind == InputKind::FLV || kind == InputKind::MOV || facts.General.CodecID == QLatin1String("MP42")) {
        text += "-fps," + FormatFloat(job.SourceFps) + ",";
    } else if (kind == InputKind::MKV && facts.Video.MuxingMode != headerStripping
               && facts.Audio.MuxingMode != headerStripping) {
        text += "-demuxer,mkv,";
    }

    text += "-ofps," + FormatFloat(job.VFps) + ",";

    const Size fit = FittedSize(job.SrcWidth, job.SrcHeight, job.VWidth, job.VHeight);
    const std::string frame = Num(job.VWidth) + ":" + Num(job.VHeight);
    text += "-vf,scale=" + Num(fit.width) + ":" + Num(fit.height) + ",";
    text += "-vf-add,expand=" + frame + ",-vf-add,harddup,";
    text += "-vf-add,crop=" + frame + ",";

    text += "-af,volume=" + Num(job.Vol) + ":1" + ",-srate," + Num(job.ASamplerate);

    text += VideoOptions(job);
    text += AudioOptions(job);

    if (job.DecodeThreads > 1)
        text += ",-lavdopts threads=" + Num(job.DecodeThreads);

    if (job.UseAVThreads) {
        if (m_processors == 1)
            text += ",-avthread";
        else if (m_processors <= 6)
            text += ",-avthread,-videofilterthread";
        else
            text += ",-avthread,-videofilterthread,-filterthread";
    }
    return text;
}

namespace {

// Base64 of the path's UTF-16LE bytes, or nothing when it does not fit its buffer.
bool EncodeName(const QString &path, std::string &name)
{
    std::vector<unsigned char> bytes;
    bytes.reserve(size_t(path.size()) * 2);
    for (QChar c : path) {
        bytes.push_back(static_cast<unsigned char>(c.unicode() & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c.unicode() >> 8));
    }
    char buffer[kBase64NameCapacity];
    size_t written = 0;
    if (Base64Encode(bytes.data(), bytes.size(), buffer, sizeof buffer, &written) != 0)
        return false;
    name.assign(buffer, written);
    return true;
}

} // namespace

EngineArguments MakeEngineArguments(std::string_view options, const QString &inputPath, const QString &outputPath)
{
    EngineArguments result;
    if (inputPath.isEmpty() || outputPath.isEmpty()) {
        result.error = EngineArgsError::EmptyPath;
        return result;
    }
    std::string input;
    std::string output;
    if (!EncodeName(inputPath, input)) {
        result.error = EngineArgsError::InputNameTooLong;
        return result;
    }
    if (!EncodeName(outputPath, output)) {
        result.error = EngineArgsError::OutputNameTooLong;
        return result;
    }

    std::string converted(options);
    for (char &c : converted) {
        if (c == ',')
            c = ' ';
    }
    for (char &c : converted) {
        if (c == '|')
            c = ',';
    }

    std::string text = " \"" + input + "\" " + converted + " -o \"" + output + "\"";
    if (text.size() + kPipeSwitchesMaxLength + 1 > kEngineCommandLineCapacity) {
        result.error = EngineArgsError::CommandLineTooLong;
        return result;
    }
    result.text = std::move(text);
    return result;
}

QString ReadableEngineArguments(std::string_view text)
{
    QString readable;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('"', at);
        const size_t close = open == std::string_view::npos ? open : text.find('"', open + 1);
        if (close == std::string_view::npos) {
            readable += QString::fromUtf8(text.substr(at));
            break;
        }
        readable += QString::fromUtf8(text.substr(at, open + 1 - at));
        const std::string_view quoted = text.substr(open + 1, close - open - 1);
        const auto decoded = QByteArray::fromBase64Encoding(QByteArray(quoted.data(), qsizetype(quoted.size())),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        const QByteArray &name = decoded.decoded;
        if (decoded && !quoted.empty() && name.size() % 2 == 0) {
            QString wide;
            for (qsizetype i = 0; i < name.size(); i += 2)
                wide += QChar(char16_t(uchar(name[i]) | uchar(name[i + 1]) << 8));
            readable += platform::ShownName(wide);
        } else {
            readable += QString::fromUtf8(quoted);
        }
        readable += '"';
        at = close + 1;
    }
    return readable;
}
