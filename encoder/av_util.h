#pragma once

// One owner per FFmpeg object, and the one exception type the conversion throws.

#include "engine/failure_codes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include <memory>
#include <stdexcept>
#include <string>

namespace mencoder {

// A failure with the code the application gets and a text for standard error.
class AvError : public std::runtime_error {
public:
    AvError(engine::FailureCode code, const std::string &doing, int averror = 0)
        : std::runtime_error(Describe(doing, averror))
        , m_code(code)
    {
    }
    engine::FailureCode Code() const { return m_code; }

private:
    static std::string Describe(const std::string &doing, int averror)
    {
        if (averror == 0)
            return doing;
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(averror, text, sizeof(text));
        return doing + ": " + text;
    }
    engine::FailureCode m_code;
};

// Thrown to unwind a stage when the run is being stopped or another stage failed;
// it is never the reason a run ends.
struct Aborted {};

inline int Check(int ret, engine::FailureCode code, const char *doing)
{
    if (ret == AVERROR(ENOMEM))
        throw AvError(engine::FailureCode::Internal, doing, ret);
    if (ret < 0)
        throw AvError(code, doing, ret);
    return ret;
}

struct CodecCtxFree {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
using CodecCtx = std::unique_ptr<AVCodecContext, CodecCtxFree>;

struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;

struct GraphFree {
    void operator()(AVFilterGraph *g) const { avfilter_graph_free(&g); }
};
using FilterGraph = std::unique_ptr<AVFilterGraph, GraphFree>;

struct InputFree {
    void operator()(AVFormatContext *f) const { avformat_close_input(&f); }
};
using InputCtx = std::unique_ptr<AVFormatContext, InputFree>;

// The output's AVIOContext belongs to OutputFile; only the format context is freed here.
struct OutputCtxFree {
    void operator()(AVFormatContext *f) const { avformat_free_context(f); }
};
using OutputCtx = std::unique_ptr<AVFormatContext, OutputCtxFree>;

inline Frame NewFrame()
{
    Frame f(av_frame_alloc());
    if (!f)
        throw AvError(engine::FailureCode::Internal, "allocating a frame");
    return f;
}

inline Packet NewPacket()
{
    Packet p(av_packet_alloc());
    if (!p)
        throw AvError(engine::FailureCode::Internal, "allocating a packet");
    return p;
}

} // namespace mencoder
