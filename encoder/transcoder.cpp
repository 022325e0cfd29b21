#include "encoder/transcoder.h"

#include "encoder/colour_pass.h"
#include "encoder/completeness.h"
#include "encoder/filter_graph.h"
#include "encoder/h264_level.h"
#include "encoder/joined_clock.h"
#include "encoder/output_file.h"
#include "encoder/scale_pass.h"
#include "encoder/stages.h"
#include "encoder/structure_end.h"
#include "encoder/thread_priority.h"
#include "encoder/tone_map_lut.h"
#include "encoder/video_chain.h"
#include "encoder/video_colour.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace mencoder {

using engine::FailureCode;

namespace {

// Queue depths between stages. A decoder's frame pool grows to the most pictures ever in
// flight and keeps them to the end, so each place in a frame queue costs a whole picture for
// the whole run; one place (with the picture each side holds) rides out the encoders' uneven
// pace as well as six did.
constexpr std::size_t kPacketDepth = 16;
constexpr std::size_t kFrameDepth = 1;

// A number among the x264 parameters the parser wrote ("name=number:name=number"); the last
// one counts, as for x264.
int X264Parameter(const EncoderChoice &choice, const std::string &name, int fallback)
{
    int found = fallback;
    const std::string prefix = name + "=";
    for (const auto &[key, value] : choice.options) {
        if (key != "x264-params")
            continue;
        for (std::size_t at = 0; at < value.size();) {
            const std::size_t end = std::min(value.find(':', at), value.size());
            if (value.compare(at, prefix.size(), prefix) == 0)
                found = std::atoi(value.c_str() + at + prefix.size());
            at = end + 1;
        }
    }
    return found;
}

// Adds "ref=N" to the x264 parameters when they would use more than N (x264's default: 3).
void KeepReferencesAtMost(EncoderChoice &choice, int refs)
{
    if (X264Parameter(choice, "ref", 3) <= refs)
        return;
    for (auto &[key, value] : choice.options) {
        if (key == "x264-params") {
            value += ":ref=" + std::to_string(refs);
            return;
        }
    }
    choice.options.emplace_back("x264-params", "ref=" + std::to_string(refs));
}

// The pictures x264 keeps for reference and reordering with these options: its defaults are
// three references and three B-frames as a pyramid, which needs four.
int X264BufferFrames(const EncoderChoice &choice)
{
    const int refs = X264Parameter(choice, "ref", 3), bframes = X264Parameter(choice, "bframes", 3);
    return std::max({refs, bframes >= 2 ? 4 : 1, 1 + std::min(bframes, 1)});
}

// Probing decodes the first pictures on one thread, only to learn their pixel format, and
// the decoder then does the same work again; a noisy HD key frame costs 60 ms or more, with
// the other cores idle. H.264 from MP4, MOV or Matroska names everything else in its header
// and its parameter sets, so its probe parses slice headers without decoding, and the first
// decoded picture gives the pixel format and aspect.
void FindStreamInfo(AVFormatContext *ctx)
{
    const std::string demuxer = ctx->iformat->name;
    const bool described = demuxer.rfind("mov,", 0) == 0 || demuxer.rfind("matroska", 0) == 0;
    std::vector<AVDictionary *> options(ctx->nb_streams, nullptr);
    std::vector<AVCodecParameters *> guessed;
    for (unsigned i = 0; described && i < ctx->nb_streams; ++i) {
        AVCodecParameters *par = ctx->streams[i]->codecpar;
        if (par->codec_id != AV_CODEC_ID_H264 || par->width <= 0 || par->extradata_size <= 0
            || par->format != AV_PIX_FMT_NONE)
            continue;
        av_dict_set(&options[i], "skip_frame", "all", 0);
        // Without a pixel format the probe would read on to its size limit looking for one.
        par->format = AV_PIX_FMT_YUV420P;
        guessed.push_back(par);
    }
    const int ret = avformat_find_stream_info(ctx, guessed.empty() ? nullptr : options.data());
    for (AVDictionary *&o : options)
        av_dict_free(&o);
    for (AVCodecParameters *par : guessed)
        par->format = AV_PIX_FMT_NONE;
    Check(ret, FailureCode::InputUnreadable, "reading the stream headers");
}

// One stream's way from the input to the output. Members are declared so that the
// threads (last) go first when it is destroyed.
struct StreamPath {
    AVStream *input = nullptr;
    CodecCtx decoder;
    CodecCtx encoder;
    int outputIndex = -1;
    AVRational sourceTimeBase{0, 1}; // what the restamped decoded frames count in
    std::int64_t startOffset = 0;    // input start time, in the stream's time base
    std::int64_t lastPts = AV_NOPTS_VALUE;
    std::int64_t frameCount = 0;
    // The video filter scales, turns or converts colours; one that only passes pictures on
    // (or pads them) is not worth a thread and the pictures queued for it.
    bool filterWorks = true;
    std::unique_ptr<EncodeStage> encode;
    std::unique_ptr<FilterStage> filter;
    std::unique_ptr<DecodeStage> decode;
    std::unique_ptr<ThreadHop<Frame>> encodeHop;
    std::unique_ptr<ThreadHop<Frame>> filterHop;
    std::unique_ptr<ThreadHop<Packet>> decodeHop;
    Consumer<Packet> *entry = nullptr;
};

class Conversion {
public:
    Conversion(const EncodeOptions &options, RunControl &control)
        : m_opts(options)
        , m_control(control)
    {
    }
    ~Conversion();

    void Run();
    // Where the output went once Run has returned: its own name, or the one it took because a
    // file appeared at that name meanwhile.
    const std::string &OutputPath() const { return m_file.Path(); }

private:
    void OpenInput();
    void Prepare(const std::function<void()> &open);
    void OpenDecoder(StreamPath &path, int threads);
    void SetUpVideo();
    void SetUpAudio();
    void OpenEncoder(StreamPath &path, const AVCodec *codec, const EncoderChoice &choice);
    void BuildChain(StreamPath &path, bool isVideo);
    void ReadInput();
    void CheckComplete(bool readFailed);
    void JoinAll();
    void AbortAll();
    void OnStageFailure(std::exception_ptr failure);
    void ReportPosition(double seconds);

    const EncodeOptions &m_opts;
    RunControl &m_control;
    InputCtx m_input;
    Completeness m_completeness;
    OutputFile m_file;
    OutputCtx m_output;
    std::unique_ptr<Muxer> m_muxer;
    StreamPath m_video;
    StreamPath m_audio;
    double m_duration = 0.0;
    bool m_percentByBytes = false;
    bool m_joined = false;     // the input proved to be parts joined (Run's thread)
    double m_streamsEnd = 0.0; // where the streams ended when the header declared more (Run's thread)
    bool m_forcedRate = false;
    // The video encoder is fed from a thread of its own, and on a quiet machine all that
    // prepares its pictures yields to it.
    bool m_encoderFirst = false;
    EncoderFirst m_yielding;

    std::mutex m_failureMutex;
    std::exception_ptr m_failure;
};

Conversion::~Conversion()
{
    m_control.SetStopHook(nullptr);
    AbortAll();
    JoinAll();
}

void Conversion::AbortAll()
{
    for (StreamPath *p : {&m_video, &m_audio}) {
        if (p->decodeHop)
            p->decodeHop->Abort();
        if (p->filterHop)
            p->filterHop->Abort();
        if (p->encodeHop)
            p->encodeHop->Abort();
    }
}

void Conversion::JoinAll()
{
    // Upstream first: each hop's thread finishes once the one before it closed its queue.
    for (StreamPath *p : {&m_video, &m_audio}) {
        if (p->decodeHop)
            p->decodeHop->Join();
        if (p->filterHop)
            p->filterHop->Join();
        if (p->encodeHop)
            p->encodeHop->Join();
    }
}

void Conversion::OnStageFailure(std::exception_ptr failure)
{
    {
        std::lock_guard lock(m_failureMutex);
        if (!m_failure)
            m_failure = failure;
    }
    AbortAll();
}

void Conversion::ReportPosition(double seconds)
{
    if (seconds < 0)
        return;
    m_control.position = seconds;
    if (!m_percentByBytes)
        m_control.percent = int(std::clamp(seconds * 100.0 / m_duration, 0.0, 100.0));
}

// Decoders and filter graphs start their worker threads when they open; those may have to
// yield to the encoder later.
void Conversion::Prepare(const std::function<void()> &open)
{
    if (m_encoderFirst)
        m_yielding.Watch(open);
    else
        open();
}

void Conversion::OpenInput()
{
    struct stat st {};
    if (::stat(m_opts.input.c_str(), &st) != 0)
        throw AvError(errno == ENOENT || errno == ENOTDIR ? FailureCode::InputMissing : FailureCode::InputUnreadable,
                      "opening " + m_opts.input);
    // A pipe or a device may block on opening or reading, where no stop reaches us, and a
    // folder is not media: only a regular file has an end that can be checked.
    if (!S_ISREG(st.st_mode))
        throw AvError(FailureCode::InputNotAFile, m_opts.input + " is not a regular file ("
                                                      + (S_ISDIR(st.st_mode)    ? "a folder"
                                                         : S_ISFIFO(st.st_mode) ? "a pipe"
                                                         : S_ISSOCK(st.st_mode) ? "a socket"
                                                                                : "a device")
                                                      + "); only files can be converted");

    const AVInputFormat *format = nullptr;
    if (!m_opts.demuxer.empty() && !(format = av_find_input_format(m_opts.demuxer.c_str())))
        throw AvError(FailureCode::BadOptionValue, "demuxer " + m_opts.demuxer + " is not available");

    AVFormatContext *ctx = avformat_alloc_context();
    if (!ctx)
        throw AvError(FailureCode::Internal, "allocating the input");
    // A stop must not wait for a slow read to finish.
    ctx->interrupt_callback.callback = [](void *opaque) {
        return static_cast<RunControl *>(opaque)->StopRequested() ? 1 : 0;
    };
    ctx->interrupt_callback.opaque = &m_control;
    const int opened = avformat_open_input(&ctx, m_opts.input.c_str(), format, nullptr);
    if (opened < 0 && opened != AVERROR_EXIT) {
        // An MP4 whose index comes last and was cut off does not open at all.
        if (IsoMediaCutShort(m_opts.input))
            throw AvError(FailureCode::InputCutShort,
                          "the file is cut short: " + m_opts.input + " ends inside its own data, before its index");
        if (opened == AVERROR(ENOMEM))
            throw AvError(FailureCode::Internal, "opening the input", opened);
        if (opened == AVERROR(EACCES) || opened == AVERROR(EPERM))
            throw AvError(FailureCode::InputUnreadable, "you have no permission to read " + m_opts.input);
        // The library's own reasons here ("Invalid data", even "Device or resource busy" for a
        // picture size it refuses) say nothing to the person whose file it is.
        throw AvError(FailureCode::InputUnreadable,
                      m_opts.input
                          + " cannot be read as video or sound: it is no film or sound file we know, its "
                            "header is damaged, or it announces pictures too large to decode");
    }
    Check(opened, FailureCode::InputUnreadable, ("opening " + m_opts.input).c_str());
    m_input.reset(ctx);
    // One whose index comes first opens well; its cut shows in its data box running past the
    // end. Told now, not after hours of converting what is there.
    if (const std::string demuxer = ctx->iformat->name; demuxer.rfind("mov,", 0) == 0) {
        const StructureEnd end = ReadStructureEnd(m_opts.input, demuxer);
        if (end.shape == StructureEnd::Shape::CutOff)
            throw AvError(FailureCode::InputCutShort, "the file is cut short: " + m_opts.input + ": " + end.what);
    }
    m_completeness.ReadDeclared(ctx, m_opts.input);
    FindStreamInfo(ctx);
    m_completeness.ReadProbed(ctx);
    if (ctx->duration > 0)
        m_duration = double(ctx->duration) / AV_TIME_BASE;
    // A stream whose clock may start again (parts joined) declares the first part's length at
    // most: the share of the file read tells the progress instead, from the start.
    m_percentByBytes = m_duration <= 0 || (ctx->iformat->flags & AVFMT_TS_DISCONT);

    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = AVDISCARD_ALL;
    const int video = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    // Cover art travels as a one-picture video stream; it is not the film.
    if (video >= 0 && !(ctx->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)
        && ctx->streams[video]->codecpar->width > 0)
        m_video.input = ctx->streams[video];
    const int audio = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    if (audio >= 0 && ctx->streams[audio]->codecpar->sample_rate > 0
        && ctx->streams[audio]->codecpar->ch_layout.nb_channels > 0)
        m_audio.input = ctx->streams[audio];
    if (!m_video.input && !m_audio.input)
        throw AvError(FailureCode::InputNoStreams, m_opts.input + " holds neither video nor audio");
    if (m_video.input && m_opts.video.name.empty())
        throw AvError(FailureCode::NoVideoEncoder, "the input has video; choose an encoder with -ovc");
    if (m_audio.input && m_opts.audio.name.empty())
        throw AvError(FailureCode::NoAudioEncoder, "the input has audio; choose an encoder with -oac");

    // Elementary streams carry no timing but what a parser guesses; there -fps is the rate.
    static const std::set<std::string> elementary = {"h264",      "hevc", "m4v",   "mpegvideo", "h263",    "h261",
                                                     "cavsvideo", "vc1",  "dirac", "mjpeg",     "rawvideo"};
    m_forcedRate =
        m_opts.inputFps > 0 && ((ctx->iformat->flags & AVFMT_NOTIMESTAMPS) || elementary.count(ctx->iformat->name));
    for (StreamPath *p : {&m_video, &m_audio}) {
        if (!p->input)
            continue;
        p->input->discard = AVDISCARD_DEFAULT;
        p->sourceTimeBase = p->input->time_base;
        if (ctx->start_time != AV_NOPTS_VALUE)
            p->startOffset = av_rescale_q(ctx->start_time, AV_TIME_BASE_Q, p->input->time_base);
    }
}

void Conversion::OpenDecoder(StreamPath &path, int threads)
{
    const AVCodec *codec = avcodec_find_decoder(path.input->codecpar->codec_id);
    if (!codec)
        throw AvError(FailureCode::DecodeFailed,
                      std::string("no decoder for ") + avcodec_get_name(path.input->codecpar->codec_id));
    path.decoder.reset(avcodec_alloc_context3(codec));
    if (!path.decoder)
        throw AvError(FailureCode::Internal, "allocating a decoder");
    AVCodecContext *dec = path.decoder.get();
    Check(avcodec_parameters_to_context(dec, path.input->codecpar), FailureCode::DecodeFailed, "decoder parameters");
    dec->pkt_timebase = path.input->time_base;
    dec->thread_count = threads;
    dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    Check(avcodec_open2(dec, codec, nullptr), FailureCode::DecodeFailed, "opening the decoder");
    if (dec->codec_type == AVMEDIA_TYPE_AUDIO && dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels = dec->ch_layout.nb_channels;
        av_channel_layout_uninit(&dec->ch_layout);
        av_channel_layout_default(&dec->ch_layout, channels);
    }
}

void Conversion::OpenEncoder(StreamPath &path, const AVCodec *codec, const EncoderChoice &choice)
{
    AVCodecContext *enc = path.encoder.get();
    enc->bit_rate = choice.bitRate > 0 ? choice.bitRate : enc->bit_rate;
    if (choice.level > 0)
        enc->level = choice.level;
    if (choice.profile != -99)
        enc->profile = choice.profile;
    if (choice.globalHeader || (m_output->oformat->flags & AVFMT_GLOBALHEADER))
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary *dict = nullptr;
    for (const auto &[key, value] : choice.options)
        av_dict_set(&dict, key.c_str(), value.c_str(), 0);
    const int opened = avcodec_open2(enc, codec, &dict);
    const AVDictionaryEntry *left = av_dict_get(dict, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    const std::string leftKey = left ? left->key : "";
    av_dict_free(&dict);
    Check(opened, FailureCode::EncoderRefused, ("opening the " + choice.name + " encoder").c_str());
    if (!leftKey.empty())
        throw AvError(FailureCode::BadOptionValue, choice.name + " does not take the option " + leftKey);

    AVStream *stream = avformat_new_stream(m_output.get(), nullptr);
    if (!stream)
        throw AvError(FailureCode::Internal, "adding an output stream");
    Check(avcodec_parameters_from_context(stream->codecpar, enc), FailureCode::Internal, "stream parameters");
    stream->time_base = enc->time_base;
    path.outputIndex = stream->index;
}

void Conversion::SetUpVideo()
{
    StreamPath &path = m_video;
    const AVCodec *codec = avcodec_find_encoder_by_name(m_opts.video.name.c_str());
    // Builds without Xvid write the same MPEG-4 Part 2 with libavcodec's own encoder.
    if (!codec && m_opts.video.name == "libxvid")
        codec = avcodec_find_encoder_by_name("mpeg4");
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
        throw AvError(FailureCode::EncoderMissing, "no video encoder " + m_opts.video.name);
    Prepare([&] { OpenDecoder(path, m_opts.decodeThreads); });

    // Frames of inputs that carry no timestamps are counted at the forced rate; every other
    // input keeps its own timing, which also keeps the sound in step.
    AVRational sourceRate = av_guess_frame_rate(m_input.get(), path.input, nullptr);
    if (m_opts.inputFps > 0 && (m_forcedRate || sourceRate.num <= 0))
        sourceRate = av_d2q(m_opts.inputFps, 1001000);
    if (m_forcedRate)
        path.sourceTimeBase = av_inv_q(sourceRate);

    AVRational outRate{0, 1};
    if (m_opts.outputFps > 0)
        outRate = av_d2q(m_opts.outputFps, 1001000);
    else if (!(m_output->oformat->flags & AVFMT_VARIABLE_FPS))
        outRate = sourceRate.num > 0 ? sourceRate : AVRational{25, 1};

    const AVPixelFormat pixFmt = [codec] {
        if (!codec->pix_fmts)
            return AV_PIX_FMT_YUV420P;
        for (const AVPixelFormat *f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
            if (*f == AV_PIX_FMT_YUV420P)
                return *f;
        return codec->pix_fmts[0];
    }();
    const int rotation = DisplayRotation(path.input);
    const AVRational guessedSar = av_guess_sample_aspect_ratio(m_input.get(), path.input, nullptr);

    // On two cores a filter with a thread of its own scales best on that thread alone: slice
    // threads would only take turns with the encoder's, and add their hand-overs.
    const int graphThreads = m_opts.filterThread && std::thread::hardware_concurrency() <= 2 ? 1 : 0;
    auto forcedW = std::make_shared<int>(0), forcedH = std::make_shared<int>(0);
    auto colourWork = std::make_shared<bool>(false);
    const VideoColour outColour = OutputColour(ChainFrameHeight(
        m_opts.videoFilters, SourcePicture{path.decoder->width, path.decoder->height, 0, 1, rotation}));
    // A graph rebuilt for a new picture size or format keeps the LUT made for the first.
    auto luts = std::make_shared<ToneMapLuts>();
    // Where the graph's source takes pictures shaped like `frame`.
    const auto bufferArgs = [](int width, int height, int format, AVRational timeBase, AVRational sar,
                               AVRational rate) {
        std::string args = "video_size=" + std::to_string(width) + "x" + std::to_string(height)
                           + ":pix_fmt=" + std::to_string(format) + ":time_base=" + Rational(timeBase)
                           + ":pixel_aspect=" + Rational(sar.num > 0 ? sar : AVRational{1, 1});
        if (rate.num > 0)
            args += ":frame_rate=" + Rational(rate);
        return args;
    };
    path.filter = std::make_unique<FilterStage>([=, this, &path](const AVFrame &shape) {
        const AVRational sar = shape.sample_aspect_ratio.num > 0 ? shape.sample_aspect_ratio : guessedSar;
        const SourcePicture picture{shape.width, shape.height, sar.num, sar.den, rotation};
        const AVPixelFormat format = AVPixelFormat(shape.format);
        const VideoColour tagged{shape.color_primaries, shape.color_trc, shape.colorspace, shape.color_range};
        const VideoColour sourceColour = SourceColour(tagged, shape.height, format);
        // Where our own pass takes the pictures, it stands for the colour filters: the graph
        // is cut in two there.
        bool own =
            ColourPass::Fast()
            && ColourPass::Fits(sourceColour, format, AVChromaLocation(shape.chroma_location), outColour, pixFmt);
        const ToneMapTable *table = nullptr;
        if (own && NeedsToneMapping(sourceColour)) {
            table = luts->TableFor(sourceColour);
            own = table != nullptr; // no LUT could be had: the filters tone-map directly
        }
        // Read while the graph is set up, and removed as soon as it is, built or not.
        const std::unique_ptr<LutFile> lut = own ? nullptr : luts->FileFor(sourceColour);
        const std::string colour =
            own ? std::string("format=") + av_get_pix_fmt_name(format)
                : ColourSteps(sourceColour, format, outColour, lut ? lut->Path() : std::string());
        *colourWork = *colourWork || !colour.empty();
        // Our scaling where the picture takes it and its colours need our pass or none; the
        // graph is then cut before the scale step, else after the colour step for our pass.
        ChainCut cut;
        cut.atScale = ColourPass::Fast() && rotation == 0 && (own || colour.empty());
        std::string chain = VideoFilterChain(m_opts.videoFilters, picture, *forcedW, *forcedH, colour, &cut);
        const bool scaled = cut.atScale && cut.scaleW > 0
                            && ScalePass::Fits(format, shape.width, shape.height, cut.scaleW, cut.scaleH, cut.keep);
        if (!scaled) {
            cut = ChainCut{};
            chain = VideoFilterChain(m_opts.videoFilters, picture, *forcedW, *forcedH, colour, own ? &cut : nullptr);
        }
        std::string rest = cut.after;
        rest += std::string(rest.empty() ? "" : ",") + "format=" + av_get_pix_fmt_name(pixFmt);
        if (outRate.num > 0)
            rest += ",fps=" + Rational(outRate);
        FilterStage::Chain built;
        const std::string args =
            bufferArgs(shape.width, shape.height, shape.format, path.sourceTimeBase, sar, sourceRate);
        if (!own && !scaled) {
            built.graph = BuildGraph("buffer", args, chain + (chain.empty() ? "" : ",") + rest, "buffersink",
                                     built.source, built.sink, graphThreads);
            return built;
        }
        built.graph = BuildGraph("buffer", args, chain.empty() ? "null" : chain, "buffersink", built.source, built.sink,
                                 graphThreads);
        const std::shared_ptr<ScalePass> scale =
            scaled ? std::make_shared<ScalePass>(shape.width, shape.height, cut.scaleW, cut.scaleH, cut.keep) : nullptr;
        const std::shared_ptr<ColourPass> convert =
            own ? std::make_shared<ColourPass>(table, sourceColour, outColour) : nullptr;
        built.pass = [scale, convert](const AVFrame &frame) {
            if (!scale)
                return convert->Run(frame);
            Frame small = scale->Run(frame);
            return convert ? convert->Run(*small) : std::move(small);
        };
        const AVFilterContext *sink = built.sink;
        int width = av_buffersink_get_w(sink), height = av_buffersink_get_h(sink);
        AVRational cutSar = av_buffersink_get_sample_aspect_ratio(sink);
        if (scaled) {
            // The scale filter's rule: the shape the viewer sees stays.
            if (cutSar.num > 0)
                cutSar = av_mul_q(AVRational{cut.scaleH * width, cut.scaleW * height}, cutSar);
            width = cut.keep.width > 0 ? cut.keep.width : cut.scaleW;
            height = cut.keep.width > 0 ? cut.keep.height : cut.scaleH;
        }
        built.after = BuildGraph("buffer",
                                 bufferArgs(width, height, ColourPass::kOutputFormat, av_buffersink_get_time_base(sink),
                                            cutSar, av_buffersink_get_frame_rate(sink)),
                                 rest, "buffersink", built.afterSource, built.afterSink, graphThreads);
        return built;
    });
    Frame shape = NewFrame();
    shape->width = path.decoder->width;
    shape->height = path.decoder->height;
    shape->format = path.decoder->pix_fmt != AV_PIX_FMT_NONE ? path.decoder->pix_fmt : AV_PIX_FMT_YUV420P;
    shape->sample_aspect_ratio = path.decoder->sample_aspect_ratio;
    shape->color_primaries = path.decoder->color_primaries;
    shape->color_trc = path.decoder->color_trc;
    shape->colorspace = path.decoder->colorspace;
    shape->color_range = path.decoder->color_range;
    shape->chroma_location = path.decoder->chroma_sample_location;
    Prepare([&] { path.filter->Configure(*shape); });
    const AVFilterContext *sink = path.filter->Sink();
    *forcedW = av_buffersink_get_w(sink);
    *forcedH = av_buffersink_get_h(sink);
    path.filterWorks = *colourWork || rotation != 0 || *forcedW != shape->width || *forcedH != shape->height;

    path.encoder.reset(avcodec_alloc_context3(codec));
    if (!path.encoder)
        throw AvError(FailureCode::Internal, "allocating the video encoder");
    AVCodecContext *enc = path.encoder.get();
    enc->width = av_buffersink_get_w(sink);
    enc->height = av_buffersink_get_h(sink);
    enc->pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(sink));
    enc->sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(sink);
    enc->time_base = av_buffersink_get_time_base(sink);
    enc->framerate = outRate.num > 0 ? outRate : sourceRate;
    // Written into the stream where the codec has room for it (H.264's VUI, MP4's colr).
    enc->color_primaries = outColour.primaries;
    enc->color_trc = outColour.transfer;
    enc->colorspace = outColour.matrix;
    enc->color_range = outColour.range;
    // Frame threads where the encoder has them (x264), slices elsewhere; xvid counts its own.
    enc->thread_count = m_opts.video.threads;
    if (enc->thread_count == 0 && m_opts.video.name == "libxvid")
        enc->thread_count = int(std::max(1u, std::thread::hardware_concurrency()));
    enc->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    EncoderChoice choice = m_opts.video;
    if (codec->id == AV_CODEC_ID_H264) {
        // x264 keeps to a level asked for with fewer reference frames; kept so, the pictures
        // stay exactly those the asked level gives.
        const int asked = choice.level;
        if (const int refs = H264ReferenceFrames(asked, enc->width, enc->height); refs > 0)
            KeepReferencesAtMost(choice, refs);
        // But the stream claims the level it needs, not the one asked for: a strict player
        // refuses a stream that claims less, and one that claims more is refused by more.
        const double fps = enc->framerate.num > 0 && enc->framerate.den > 0 ? av_q2d(enc->framerate) : 25.0;
        const int level = H264Level(enc->width, enc->height, fps, choice.bitRate, X264BufferFrames(choice));
        if (level > 0)
            choice.level = level;
    }
    OpenEncoder(path, codec, choice);

    AVStream *stream = m_output->streams[path.outputIndex];
    stream->avg_frame_rate = enc->framerate;
    if (!m_opts.fourcc.empty()) {
        const std::string &t = m_opts.fourcc;
        const unsigned tag = MKTAG(t[0], t[1], t[2], t[3]);
        // A tag the container has no entry for (DX50 in MP4) would make it refuse the whole
        // file; such a container names the codec its own way, so its own tag stands.
        const AVCodecTag *const *tables = m_output->oformat->codec_tag;
        if (!tables || av_codec_get_id(tables, tag) == enc->codec_id)
            stream->codecpar->codec_tag = tag;
        else
            std::fprintf(stderr, "mencoder: %s keeps its own tag for %s, not %s\n", m_opts.container.c_str(),
                         codec->name, t.c_str());
    }
}

void Conversion::SetUpAudio()
{
    StreamPath &path = m_audio;
    const AVCodec *codec = avcodec_find_encoder_by_name(m_opts.audio.name.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO)
        throw AvError(FailureCode::EncoderMissing, "no audio encoder " + m_opts.audio.name);
    OpenDecoder(path, 1);
    const AVCodecContext *dec = path.decoder.get();

    path.encoder.reset(avcodec_alloc_context3(codec));
    if (!path.encoder)
        throw AvError(FailureCode::Internal, "allocating the audio encoder");
    AVCodecContext *enc = path.encoder.get();

    enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : dec->sample_fmt;
    for (const AVSampleFormat *f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == dec->sample_fmt)
            enc->sample_fmt = *f;

    enc->sample_rate = m_opts.sampleRate > 0 ? m_opts.sampleRate : dec->sample_rate;
    if (m_opts.sampleRate == 0 && codec->supported_samplerates) {
        // No rate asked for and the source's is not one the encoder takes: the nearest is.
        int best = codec->supported_samplerates[0];
        for (const int *r = codec->supported_samplerates; *r; ++r)
            if (std::abs(*r - dec->sample_rate) < std::abs(best - dec->sample_rate))
                best = *r;
        enc->sample_rate = best;
    }

    AVChannelLayout layout{};
    Check(av_channel_layout_copy(&layout, &dec->ch_layout), FailureCode::Internal, "channel layout");
    if (codec->ch_layouts) {
        bool supported = false, stereo = false;
        const AVChannelLayout stereoLayout = AV_CHANNEL_LAYOUT_STEREO;
        for (const AVChannelLayout *l = codec->ch_layouts; l->nb_channels; ++l) {
            supported = supported || av_channel_layout_compare(l, &layout) == 0;
            stereo = stereo || av_channel_layout_compare(l, &stereoLayout) == 0;
        }
        if (!supported) {
            av_channel_layout_uninit(&layout);
            Check(av_channel_layout_copy(&layout, stereo ? &stereoLayout : &codec->ch_layouts[0]),
                  FailureCode::Internal, "channel layout");
        }
    }
    Check(av_channel_layout_copy(&enc->ch_layout, &layout), FailureCode::Internal, "channel layout");
    av_channel_layout_uninit(&layout);
    enc->time_base = AVRational{1, enc->sample_rate};
    enc->thread_count = 1;
    OpenEncoder(path, codec, m_opts.audio);

    std::string chain;
    if (m_opts.volumeDb != 0.0)
        chain += "volume=" + std::to_string(m_opts.volumeDb) + "dB,";
    // Timestamps of sound drift and jitter in many containers (milliseconds in ASF and FLV);
    // resampling against them, filling gaps and trimming overlaps, keeps the sound continuous
    // and in step from the first picture on.
    chain += "aresample=" + std::to_string(enc->sample_rate) + ":async=1:first_pts=0,aformat=sample_fmts="
             + av_get_sample_fmt_name(enc->sample_fmt) + ":channel_layouts=" + LayoutName(enc->ch_layout);
    const bool fixedFrames = enc->frame_size > 0 && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const int frameSize = enc->frame_size;
    path.filter = std::make_unique<FilterStage>([chain, fixedFrames, frameSize, &path](const AVFrame &shape) {
        const std::string args = "time_base=" + Rational(path.sourceTimeBase)
                                 + ":sample_rate=" + std::to_string(shape.sample_rate)
                                 + ":sample_fmt=" + av_get_sample_fmt_name(AVSampleFormat(shape.format))
                                 + ":channel_layout=" + LayoutName(shape.ch_layout);
        FilterStage::Chain built;
        built.graph = BuildGraph("abuffer", args, chain, "abuffersink", built.source, built.sink);
        if (fixedFrames)
            av_buffersink_set_frame_size(built.sink, unsigned(frameSize));
        return built;
    });
    Frame shape = NewFrame();
    shape->sample_rate = dec->sample_rate;
    shape->format = dec->sample_fmt;
    Check(av_channel_layout_copy(&shape->ch_layout, &dec->ch_layout), FailureCode::Internal, "channel layout");
    path.filter->Configure(*shape);
}

void Conversion::BuildChain(StreamPath &path, bool isVideo)
{
    const auto onFailure = [this](std::exception_ptr e) { OnStageFailure(e); };
    const auto gate = [this] { return m_control.WaitWhilePaused(); };
    const bool clock = isVideo || !m_video.input;
    const std::atomic<bool> *yieldFlag = m_encoderFirst ? &m_yielding.Flag() : nullptr;
    path.encode =
        std::make_unique<EncodeStage>(path.encoder.get(), *m_muxer, path.outputIndex, [this, clock](double t) {
            if (clock)
                ReportPosition(t);
        });
    Consumer<Frame> *toEncoder = path.encode.get();
    if (isVideo && m_encoderFirst) {
        path.encodeHop = std::make_unique<ThreadHop<Frame>>(*path.encode, kFrameDepth, gate, onFailure);
        toEncoder = path.encodeHop.get();
    }
    path.filter->SetNext(*toEncoder);
    Consumer<Frame> *toFilter = path.filter.get();
    if (isVideo && m_opts.filterThread && path.filterWorks) {
        path.filterHop = std::make_unique<ThreadHop<Frame>>(*path.filter, kFrameDepth, gate, onFailure, yieldFlag);
        toFilter = path.filterHop.get();
    }

    const bool audio = !isVideo;
    path.decode = std::make_unique<DecodeStage>(path.decoder.get(), *toFilter, [this, &path, audio](AVFrame *f) {
        std::int64_t pts = f->best_effort_timestamp;
        if (m_forcedRate && !audio) {
            pts = path.frameCount;
            f->pkt_duration = 1;
        } else if (pts == AV_NOPTS_VALUE) {
            pts = path.lastPts == AV_NOPTS_VALUE ? 0 : path.lastPts + std::max<std::int64_t>(1, f->pkt_duration);
        } else {
            pts -= path.startOffset;
        }
        if (!audio && path.lastPts != AV_NOPTS_VALUE && pts <= path.lastPts)
            pts = path.lastPts + 1; // a picture may not come before the one shown already
        if (audio && f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int channels = f->ch_layout.nb_channels;
            av_channel_layout_uninit(&f->ch_layout);
            av_channel_layout_default(&f->ch_layout, channels);
        }
        f->pts = pts;
        path.lastPts = pts;
        ++path.frameCount;
    });
    path.entry = path.decode.get();
    if (m_opts.decodeThread) {
        path.decodeHop = std::make_unique<ThreadHop<Packet>>(*path.decode, kPacketDepth, gate, onFailure, yieldFlag);
        path.entry = path.decodeHop.get();
    }
}

void Conversion::ReadInput()
{
    AVFormatContext *ctx = m_input.get();
    const std::int64_t size = ctx->pb ? avio_size(ctx->pb) : -1;
    JoinedClock clock(ctx->iformat);
    for (;;) {
        if (!m_control.WaitWhilePaused())
            throw Aborted{};
        if (m_encoderFirst)
            m_yielding.Decide(); // this thread only reads and hands packets on
        Packet packet = NewPacket();
        const int ret = av_read_frame(ctx, packet.get());
        if (ret == AVERROR_EOF) {
            CheckComplete(false);
            return;
        }
        if (ret == AVERROR_EXIT || m_control.StopRequested())
            throw Aborted{};
        if (ret == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (ret == AVERROR(ENOMEM))
            Check(ret, FailureCode::Internal, "reading the input");
        if (ret < 0) {
            // Demuxers report the end of a cut-off file in different ways; a read error
            // close to the file's end is its end, anywhere else the file is damaged.
            if (ctx->pb && size > 0 && avio_tell(ctx->pb) >= size) {
                CheckComplete(true);
                return;
            }
            throw AvError(FailureCode::InputReadError, "reading the input", ret);
        }
        for (StreamPath *p : {&m_video, &m_audio}) {
            if (p->input && packet->stream_index == p->input->index) {
                if (clock.Carry(*packet, *p->input) && !m_joined) {
                    m_joined = true;
                    std::fprintf(stderr, "\nmencoder: note: parts joined; the time runs on across each join\n");
                }
                m_completeness.Count(p->input, packet.get());
                p->entry->Put(std::move(packet));
                break;
            }
        }
        if (m_percentByBytes && size > 0 && ctx->pb)
            m_control.percent = int(std::clamp(avio_tell(ctx->pb) * 100 / size, std::int64_t(0), std::int64_t(100)));
    }
}

void Conversion::CheckComplete(bool readFailed)
{
    // Streams counted at a forced rate have no timing of their own to compare.
    if (m_forcedRate)
        return;
    std::vector<const AVStream *> converted;
    for (const StreamPath *p : {&m_video, &m_audio})
        if (p->input)
            converted.push_back(p->input);
    const Completeness::Verdict verdict = m_completeness.Judge(converted, readFailed);
    if (verdict.cutShort)
        throw AvError(FailureCode::InputCutShort, *verdict.cutShort);
    // On a line of its own: standalone, a progress line without its end may stand before it.
    if (verdict.note) {
        std::fprintf(stderr, "\nmencoder: note: %s\n", verdict.note->c_str());
        m_streamsEnd = verdict.streamsEnd;
    }
}

void Conversion::Run()
{
    OpenInput();
    const std::size_t slash = m_opts.output.rfind('/');
    const std::size_t nameBytes = m_opts.output.size() - (slash == std::string::npos ? 0 : slash + 1);
    if (nameBytes > NAME_MAX)
        throw AvError(FailureCode::OutputNotWritable, "the output name is " + std::to_string(nameBytes)
                                                          + " bytes long; the file system takes at most "
                                                          + std::to_string(NAME_MAX) + " bytes in a file name");
    if (const FailureCode opened = m_file.Open(m_opts.output); opened != FailureCode::None)
        throw AvError(opened, "creating " + m_opts.output);

    AVFormatContext *out = nullptr;
    Check(avformat_alloc_output_context2(&out, nullptr, m_opts.container.c_str(), nullptr), FailureCode::BadOptionValue,
          ("container " + m_opts.container).c_str());
    m_output.reset(out);
    out->pb = m_file.Avio();
    out->flags |= AVFMT_FLAG_CUSTOM_IO;

    // A filter on a thread of its own hands its pictures on through a queue as well, so that
    // the encoder's feeding thread never waits for a picture being scaled.
    m_encoderFirst = m_video.input && (m_opts.filterThread || m_opts.encodeThread);
    if (m_video.input)
        SetUpVideo();
    if (m_audio.input)
        Prepare([this] { SetUpAudio(); });
    {
        const int ret = avformat_write_header(out, nullptr);
        if (m_file.WriteFailure() != FailureCode::None)
            throw AvError(m_file.WriteFailure(), "writing the output header");
        Check(ret, FailureCode::ContainerRefused, ("writing a " + m_opts.container + " header").c_str());
    }
    m_muxer = std::make_unique<Muxer>(out, m_file);

    if (m_video.input)
        BuildChain(m_video, true);
    if (m_audio.input)
        BuildChain(m_audio, false);
    m_control.SetStopHook([this] { AbortAll(); });

    try {
        ReadInput();
        for (StreamPath *p : {&m_video, &m_audio})
            if (p->entry)
                p->entry->End();
    } catch (const Aborted &) {
        // A stage failed or the run was stopped; the reason is collected below.
    } catch (...) {
        OnStageFailure(std::current_exception());
    }
    JoinAll();
    {
        std::lock_guard lock(m_failureMutex);
        if (m_failure)
            std::rethrow_exception(m_failure);
    }
    if (m_control.StopRequested())
        throw AvError(FailureCode::Stopped, "stopped");

    m_muxer->Finish();
    if (const FailureCode committed = m_file.Commit(CountedNames(m_opts.input, m_opts.output));
        committed != FailureCode::None)
        throw AvError(committed, "closing " + m_opts.output);
    if (!m_joined)
        ReportPosition(m_streamsEnd > 0 ? m_streamsEnd : m_duration);
    m_control.percent = 100;
}

} // namespace

RunResult Convert(const EncodeOptions &options, RunControl &control)
{
    RunResult result;
    try {
        Conversion conversion(options, control);
        conversion.Run();
        result.outputPath = conversion.OutputPath();
    } catch (const AvError &e) {
        result.code = e.Code();
        result.message = e.what();
    } catch (const Aborted &) {
        result.code = FailureCode::Stopped;
        result.message = "stopped";
    } catch (const std::bad_alloc &) {
        result.code = FailureCode::Internal;
        result.message = "out of memory";
    } catch (const std::exception &e) {
        result.code = FailureCode::Internal;
        result.message = e.what();
    }
    if (result.code != FailureCode::None && control.StopRequested())
        result.code = FailureCode::Stopped; // a stop ends the run; what broke on the way is its echo
    return result;
}

} // namespace mencoder
