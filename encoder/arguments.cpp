#include "encoder/arguments.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace mencoder {

using engine::FailureCode;

namespace {

struct Refusal {
    FailureCode code;
    std::string message;
};

[[noreturn]] void Refuse(FailureCode code, std::string message) { throw Refusal{code, std::move(message)}; }

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::vector<std::string> Split(const std::string &text, char sep)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

std::optional<long long> ToInt(const std::string &s)
{
    long long v = 0;
    const char *end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, v);
    if (s.empty() || ec != std::errc() || p != end)
        return std::nullopt;
    return v;
}

std::optional<double> ToDouble(const std::string &s)
{
    // "a/b" too, as frame rates are often written.
    const std::size_t slash = s.find('/');
    if (slash != std::string::npos) {
        const auto num = ToDouble(s.substr(0, slash));
        const auto den = ToDouble(s.substr(slash + 1));
        if (!num || !den || *den == 0.0)
            return std::nullopt;
        return *num / *den;
    }
    double v = 0;
    const char *end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, v);
    if (s.empty() || ec != std::errc() || p != end || !std::isfinite(v))
        return std::nullopt;
    return v;
}

long long IntIn(const std::string &what, const std::string &value, long long lo, long long hi)
{
    const auto v = ToInt(value);
    if (!v || *v < lo || *v > hi)
        Refuse(FailureCode::BadOptionValue, what + "=" + value);
    return *v;
}

double DoubleIn(const std::string &what, const std::string &value, double lo, double hi)
{
    const auto v = ToDouble(value);
    if (!v || *v < lo || *v > hi)
        Refuse(FailureCode::BadOptionValue, what + "=" + value);
    return *v;
}

// Video bit rates below 16001 are kbit/s, larger ones bit/s, as the old tools took them.
std::int64_t VideoBitRate(const std::string &what, const std::string &value)
{
    const long long v = IntIn(what, value, 1, 100'000'000);
    return v <= 16000 ? v * 1000 : v;
}

// "key=value:key:key=value" -> pairs; a bare key has an empty value.
OptionPairs SubOptions(const std::string &text)
{
    OptionPairs pairs;
    for (const std::string &item : Split(text, ':')) {
        if (item.empty())
            continue;
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos)
            pairs.emplace_back(item, std::string());
        else
            pairs.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    }
    return pairs;
}

bool Flag(const std::string &key, const std::string &value)
{
    if (value.empty())
        return true;
    return IntIn(key, value, 0, 2) != 0;
}

void Add(OptionPairs &opts, const std::string &key, const std::string &value)
{
    for (auto &[k, v] : opts) {
        if (k == key) {
            v = value;
            return;
        }
    }
    opts.emplace_back(key, value);
}

void AppendFlag(OptionPairs &opts, const std::string &key, const std::string &flag)
{
    for (auto &[k, v] : opts) {
        if (k == key) {
            v += "+" + flag;
            return;
        }
    }
    opts.emplace_back(key, "+" + flag);
}

class Parser {
public:
    explicit Parser(const std::vector<std::string> &args)
        : m_args(args)
    {
    }

    EncodeOptions Run();

private:
    const std::string &Value(std::size_t &i);
    void VideoFilters(const std::string &chain, bool replace);
    void AudioFilters(const std::string &chain);
    void X264Options(const std::string &text);
    void LavcOptions(const std::string &text);
    void XvidOptions(const std::string &text);
    void LameOptions(const std::string &text);
    void FaacOptions(const std::string &text);
    void LavfOptions(const std::string &text);
    void LavdOptions(const std::string &text);

    const std::vector<std::string> &m_args;
    EncodeOptions m_opts;
    std::string m_ovc, m_oac, m_of;
    std::string m_lavfFormat;
    std::string m_lavcVideo, m_lavcAudio; // vcodec= / acodec= of -lavcopts
    OptionPairs m_lavcVideoOpts, m_lavcAudioOpts;
    std::int64_t m_lavcVBitRate = 0, m_lavcABitRate = 0;
    int m_lavcThreads = 0;
    bool m_vglobal = false, m_aglobal = false;
    EncoderChoice m_x264, m_xvid, m_lame, m_faac;
    bool m_wide = false;
    bool m_haveOutput = false;
    bool m_haveInput = false;
};

const std::string &Parser::Value(std::size_t &i)
{
    if (i + 1 >= m_args.size())
        Refuse(FailureCode::BadArguments, m_args[i] + " needs a value");
    return m_args[++i];
}

void Parser::VideoFilters(const std::string &chain, bool replace)
{
    if (replace)
        m_opts.videoFilters.clear();
    for (const std::string &item : Split(chain, ',')) {
        const std::size_t eq = item.find('=');
        const std::string name = item.substr(0, eq);
        const std::vector<std::string> params =
            eq == std::string::npos ? std::vector<std::string>{} : Split(item.substr(eq + 1), ':');
        VideoFilterStep step;
        if (name == "harddup" && params.empty()) {
            step.kind = VideoFilterStep::Kind::HardDup;
        } else if ((name == "scale" && params.size() == 2)
                   || ((name == "expand" || name == "crop") && (params.size() == 2 || params.size() == 4))) {
            step.kind = name == "scale"    ? VideoFilterStep::Kind::Scale
                        : name == "expand" ? VideoFilterStep::Kind::Expand
                                           : VideoFilterStep::Kind::Crop;
            step.width = int(IntIn(name, params[0], 2, 16384));
            step.height = int(IntIn(name, params[1], 2, 16384));
            if (params.size() == 4) {
                step.x = int(IntIn(name, params[2], -1, 16384));
                step.y = int(IntIn(name, params[3], -1, 16384));
            }
        } else if (name == "scale" || name == "expand" || name == "crop" || name == "harddup") {
            Refuse(FailureCode::BadOptionValue, "-vf " + item);
        } else {
            Refuse(FailureCode::UnknownOption, "video filter " + item);
        }
        m_opts.videoFilters.push_back(step);
    }
}

void Parser::AudioFilters(const std::string &chain)
{
    for (const std::string &item : Split(chain, ',')) {
        const std::size_t eq = item.find('=');
        const std::string name = item.substr(0, eq);
        if (name != "volume")
            Refuse(FailureCode::UnknownOption, "audio filter " + item);
        const auto params = eq == std::string::npos ? std::vector<std::string>{} : Split(item.substr(eq + 1), ':');
        if (params.empty() || params.size() > 2)
            Refuse(FailureCode::BadOptionValue, "-af " + item);
        m_opts.volumeDb = DoubleIn("volume", params[0], -200.0, 60.0);
        if (params.size() == 2)
            IntIn("volume", params[1], 0, 1); // soft clipping: the encoders clip anyway
    }
}

void Parser::X264Options(const std::string &text)
{
    EncoderChoice &c = m_x264;
    std::string params;
    const auto param = [&params](const std::string &key, const std::string &value) {
        params += (params.empty() ? "" : ":") + key + "=" + value;
    };
    for (const auto &[key, value] : SubOptions(text)) {
        if (key == "bitrate") {
            c.bitRate = IntIn(key, value, 1, 100'000) * 1000;
        } else if (key == "global_header") {
            c.globalHeader = Flag(key, value);
        } else if (key == "level_idc") {
            // "30" or "3.0" both mean level 3.0.
            const double v = DoubleIn(key, value, 1.0, 62.0);
            c.level = v < 10.0 ? int(std::lround(v * 10.0)) : int(std::lround(v));
        } else if (key == "subq" || key == "subme") {
            param("subme", std::to_string(IntIn(key, value, 0, 11)));
        } else if (key == "threads") {
            c.threads = value == "auto" ? 0 : int(IntIn(key, value, 1, 64));
        } else if (key == "bframes") {
            param("bframes", std::to_string(IntIn(key, value, 0, 16)));
        } else if (key == "frameref" || key == "ref") {
            param("ref", std::to_string(IntIn(key, value, 1, 16)));
        } else if (key == "keyint") {
            param("keyint", std::to_string(IntIn(key, value, 1, 10000)));
        } else if (key == "trellis") {
            param("trellis", std::to_string(IntIn(key, value, 0, 2)));
        } else if (key == "crf") {
            param("crf", std::to_string(DoubleIn(key, value, 0.0, 51.0)));
        } else if (key == "preset" || key == "tune" || key == "profile") {
            if (value.empty() || value.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789,") != std::string::npos)
                Refuse(FailureCode::BadOptionValue, key + "=" + value);
            Add(c.options, key, value);
        } else {
            Refuse(FailureCode::UnknownOption, "-x264encopts " + key);
        }
    }
    if (!params.empty()) {
        for (auto &[k, v] : c.options) {
            if (k == "x264-params") {
                v += ":" + params;
                return;
            }
        }
        c.options.emplace_back("x264-params", params);
    }
}

void Parser::LavcOptions(const std::string &text)
{
    for (const auto &[key, value] : SubOptions(text)) {
        if (key == "vcodec") {
            m_lavcVideo = Lower(value);
        } else if (key == "acodec") {
            m_lavcAudio = Lower(value);
        } else if (key == "vbitrate") {
            m_lavcVBitRate = VideoBitRate(key, value);
        } else if (key == "abitrate") {
            m_lavcABitRate = IntIn(key, value, 8, 1024) * 1000;
        } else if (key == "threads") {
            m_lavcThreads = int(IntIn(key, value, 1, 64));
        } else if (key == "vglobal") {
            m_vglobal = Flag(key, value);
        } else if (key == "aglobal") {
            m_aglobal = Flag(key, value);
        } else if (key == "mbd") {
            Add(m_lavcVideoOpts, "mbd", std::to_string(IntIn(key, value, 0, 2)));
        } else if (key == "trell") {
            if (Flag(key, value))
                Add(m_lavcVideoOpts, "trellis", "1");
        } else if (key == "mv0") {
            if (Flag(key, value))
                AppendFlag(m_lavcVideoOpts, "mpv_flags", "mv0");
        } else if (key == "cbp") {
            if (Flag(key, value))
                AppendFlag(m_lavcVideoOpts, "mpv_flags", "cbp_rd");
        } else if (key == "v4mv") {
            if (Flag(key, value))
                AppendFlag(m_lavcVideoOpts, "flags", "mv4");
        } else if (key == "last_pred") {
            Add(m_lavcVideoOpts, "last_pred", std::to_string(IntIn(key, value, 0, 99)));
        } else if (key == "keyint") {
            Add(m_lavcVideoOpts, "g", std::to_string(IntIn(key, value, 1, 10000)));
        } else if (key == "vmax_b_frames") {
            Add(m_lavcVideoOpts, "bf", std::to_string(IntIn(key, value, 0, 16)));
        } else {
            Refuse(FailureCode::UnknownOption, "-lavcopts " + key);
        }
    }
}

void Parser::XvidOptions(const std::string &text)
{
    for (const auto &[key, value] : SubOptions(text)) {
        if (key == "bitrate")
            m_xvid.bitRate = VideoBitRate(key, value);
        else if (key == "max_bframes")
            Add(m_xvid.options, "bf", std::to_string(IntIn(key, value, 0, 4)));
        else if (key == "threads")
            m_xvid.threads = int(IntIn(key, value, 1, 64));
        else
            Refuse(FailureCode::UnknownOption, "-xvidencopts " + key);
    }
}

void Parser::LameOptions(const std::string &text)
{
    for (const auto &[key, value] : SubOptions(text)) {
        if (key == "br")
            m_lame.bitRate = IntIn(key, value, 8, 320) * 1000;
        else if (key == "cbr")
            Add(m_lame.options, "abr", "0");
        else if (key == "abr")
            Add(m_lame.options, "abr", "1");
        else
            Refuse(FailureCode::UnknownOption, "-lameopts " + key);
    }
}

void Parser::FaacOptions(const std::string &text)
{
    for (const auto &[key, value] : SubOptions(text)) {
        if (key == "br") {
            m_faac.bitRate = IntIn(key, value, 8, 576) * 1000;
        } else if (key == "mpeg") {
            IntIn(key, value, 2, 4); // MPEG-2 and MPEG-4 AAC differ only in a header bit
            if (value == "3")
                Refuse(FailureCode::BadOptionValue, "mpeg=3");
        } else if (key == "object") {
            // 1 Main, 2 Low complexity, 4 Long-term prediction; as libavcodec's profiles 0, 1, 3.
            const long long object = IntIn(key, value, 1, 4);
            if (object == 3)
                Refuse(FailureCode::BadOptionValue, "object=3");
            m_faac.profile = int(object - 1);
        } else if (key == "raw") {
            // The containers we write carry raw AAC anyway.
        } else {
            Refuse(FailureCode::UnknownOption, "-faacopts " + key);
        }
    }
}

void Parser::LavfOptions(const std::string &text)
{
    for (const auto &[key, value] : SubOptions(text)) {
        if (key != "format")
            Refuse(FailureCode::UnknownOption, "-lavfopts " + key);
        static const std::map<std::string, std::string> formats = {
            {"mp4", "mp4"},           {"mov", "mov"}, {"avi", "avi"},       {"mkv", "matroska"},
            {"matroska", "matroska"}, {"flv", "flv"}, {"mpegts", "mpegts"}, {"asf", "asf"}};
        const auto it = formats.find(Lower(value));
        if (it == formats.end())
            Refuse(FailureCode::BadOptionValue, "format=" + value);
        m_lavfFormat = it->second;
    }
}

void Parser::LavdOptions(const std::string &text)
{
    for (const auto &[key, value] : SubOptions(text)) {
        if (key == "threads")
            m_opts.decodeThreads = int(IntIn(key, value, 1, 64));
        else
            Refuse(FailureCode::UnknownOption, "-lavdopts " + key);
    }
}

EncodeOptions Parser::Run()
{
    std::string input, output;
    for (std::size_t i = 0; i < m_args.size(); ++i) {
        const std::string &a = m_args[i];
        if (a.empty())
            continue; // an empty program-name slot, or doubled separators
        if (a[0] != '-' || a == "-") {
            if (m_haveInput)
                Refuse(FailureCode::BadArguments, "a second input: " + a);
            input = a;
            m_haveInput = true;
        } else if (a == "-o") {
            output = Value(i);
            m_haveOutput = true;
        } else if (a == "-wchar") {
            m_wide = true;
        } else if (a.rfind("-pipename=", 0) == 0 || a == "-pipename") {
            const std::string v = a == "-pipename" ? Value(i) : a.substr(10);
            m_opts.pipeNumber = int(IntIn("-pipename", v, 1, 1'000'000'000));
        } else if (a == "-mc") {
            DoubleIn(a, Value(i), 0.0, 100.0); // timestamps are kept, so there is nothing to correct
        } else if (a == "-demuxer") {
            const std::string v = Lower(Value(i));
            if (v == "mov")
                m_opts.demuxer = "mov";
            else if (v == "mkv" || v == "matroska")
                m_opts.demuxer = "matroska";
            else if (v == "lavf")
                m_opts.demuxer.clear();
            else
                Refuse(FailureCode::BadOptionValue, "-demuxer " + v);
        } else if (a == "-fps") {
            m_opts.inputFps = DoubleIn(a, Value(i), 0.5, 1000.0);
        } else if (a == "-ofps") {
            m_opts.outputFps = DoubleIn(a, Value(i), 0.5, 1000.0);
        } else if (a == "-vf") {
            VideoFilters(Value(i), true);
        } else if (a == "-vf-add") {
            VideoFilters(Value(i), false);
        } else if (a == "-af") {
            AudioFilters(Value(i));
        } else if (a == "-srate") {
            m_opts.sampleRate = int(IntIn(a, Value(i), 8000, 192000));
        } else if (a == "-ovc") {
            m_ovc = Lower(Value(i));
        } else if (a == "-oac") {
            m_oac = Lower(Value(i));
        } else if (a == "-x264encopts") {
            X264Options(Value(i));
        } else if (a == "-lavcopts") {
            LavcOptions(Value(i));
        } else if (a == "-xvidencopts") {
            XvidOptions(Value(i));
        } else if (a == "-lameopts") {
            LameOptions(Value(i));
        } else if (a == "-faacopts") {
            FaacOptions(Value(i));
        } else if (a == "-ffourcc") {
            const std::string v = Value(i);
            if (v.size() != 4)
                Refuse(FailureCode::BadOptionValue, "-ffourcc " + v);
            m_opts.fourcc = v;
        } else if (a == "-of") {
            m_of = Lower(Value(i));
            if (m_of != "lavf" && m_of != "avi")
                Refuse(FailureCode::BadOptionValue, "-of " + m_of);
        } else if (a == "-lavfopts") {
            LavfOptions(Value(i));
        } else if (a == "-lavdopts") {
            LavdOptions(Value(i));
        } else if (a == "-avthread") {
            m_opts.decodeThread = true;
        } else if (a == "-videofilterthread") {
            m_opts.filterThread = true;
        } else if (a == "-filterthread") {
            m_opts.encodeThread = true;
        } else {
            Refuse(FailureCode::UnknownOption, a);
        }
    }
    if (!m_haveInput || input.empty())
        Refuse(FailureCode::BadArguments, "no input file");
    if (!m_haveOutput || output.empty())
        Refuse(FailureCode::BadArguments, "no output file (-o)");
    if (m_wide) {
        // Quotes belong to the command line; should a caller leave them on, they are no part of the name.
        const auto unquote = [](const std::string &s) {
            return s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
        };
        const auto in = DecodeWideName(unquote(input));
        const auto out = DecodeWideName(unquote(output));
        if (!in || in->empty() || !out || out->empty())
            Refuse(FailureCode::BadArguments, "a file name is not Base64 of UTF-16LE text");
        input = *in;
        output = *out;
    }
    m_opts.input = input;
    m_opts.output = output;

    if (m_ovc == "x264") {
        m_opts.video = m_x264;
        m_opts.video.name = "libx264";
    } else if (m_ovc == "xvid") {
        m_opts.video = m_xvid;
        m_opts.video.name = "libxvid";
    } else if (m_ovc == "lavc") {
        static const std::map<std::string, std::string> encoders = {{"mpeg4", "mpeg4"},
                                                                    {"msmpeg4v2", "msmpeg4v2"},
                                                                    {"msmpeg4", "msmpeg4"},
                                                                    {"msmpeg4v3", "msmpeg4"},
                                                                    {"flv", "flv"},
                                                                    {"h263p", "h263p"},
                                                                    {"mpeg2video", "mpeg2video"},
                                                                    {"mpeg1video", "mpeg1video"},
                                                                    {"mjpeg", "mjpeg"},
                                                                    {"wmv1", "wmv1"},
                                                                    {"wmv2", "wmv2"}};
        const auto it = encoders.find(m_lavcVideo);
        if (it == encoders.end())
            Refuse(FailureCode::BadOptionValue, "-lavcopts vcodec=" + m_lavcVideo);
        m_opts.video.name = it->second;
        m_opts.video.bitRate = m_lavcVBitRate;
        m_opts.video.threads = m_lavcThreads;
        m_opts.video.globalHeader = m_vglobal;
        m_opts.video.options = m_lavcVideoOpts;
    } else if (!m_ovc.empty()) {
        Refuse(FailureCode::BadOptionValue, "-ovc " + m_ovc);
    } else if (!m_lavcVideoOpts.empty() || m_lavcVBitRate) {
        Refuse(FailureCode::BadArguments, "video encoder options without -ovc");
    }

    if (m_oac == "mp3lame") {
        m_opts.audio = m_lame;
        m_opts.audio.name = "libmp3lame";
    } else if (m_oac == "faac") {
        m_opts.audio = m_faac;
        m_opts.audio.name = "aac";
        if (m_opts.audio.profile == -99)
            m_opts.audio.profile = 1; // low complexity
    } else if (m_oac == "lavc") {
        static const std::map<std::string, std::string> encoders = {
            {"ac3", "ac3"},       {"mp2", "mp2"},  {"aac", "aac"}, {"mp3", "libmp3lame"}, {"libmp3lame", "libmp3lame"},
            {"pcm", "pcm_s16le"}, {"flac", "flac"}};
        const auto it = encoders.find(m_lavcAudio);
        if (it == encoders.end())
            Refuse(FailureCode::BadOptionValue, "-lavcopts acodec=" + m_lavcAudio);
        m_opts.audio.name = it->second;
        m_opts.audio.bitRate = m_lavcABitRate;
        m_opts.audio.globalHeader = m_aglobal;
        m_opts.audio.options = m_lavcAudioOpts;
    } else if (!m_oac.empty()) {
        Refuse(FailureCode::BadOptionValue, "-oac " + m_oac);
    }

    if (m_of == "lavf" && !m_lavfFormat.empty())
        m_opts.container = m_lavfFormat;
    return m_opts;
}

} // namespace

ParseResult ParseArguments(const std::vector<std::string> &args)
{
    ParseResult result;
    try {
        result.options = Parser(args).Run();
    } catch (const Refusal &r) {
        result.code = r.code;
        result.message = r.message;
    }
    return result;
}

} // namespace mencoder
