#pragma once

// The media stages of one stream: decoder, filter graph, encoder, and the muxer they share.
// Each stage runs on whichever thread calls it (see ThreadHop); only the muxer is called
// from several threads and takes a lock.

#include "encoder/av_util.h"
#include "encoder/output_file.h"
#include "encoder/stage_queue.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace mencoder {

class DecodeStage : public Consumer<Packet> {
public:
    // restamp fixes each decoded frame's pts (start offset, missing or forced timing).
    DecodeStage(AVCodecContext *decoder, Consumer<Frame> &next, std::function<void(AVFrame *)> restamp)
        : m_decoder(decoder)
        , m_next(next)
        , m_restamp(std::move(restamp))
    {
    }
    void Put(Packet packet) override;
    void End() override;

private:
    void Drain();

    AVCodecContext *m_decoder;
    Consumer<Frame> &m_next;
    std::function<void(AVFrame *)> m_restamp;
    std::int64_t m_frames = 0;
    std::int64_t m_errors = 0;
};

// A filter graph rebuilt whenever the decoded frames change shape mid-stream, optionally cut
// in two around a step of our own.
class FilterStage : public Consumer<Frame> {
public:
    // A step of our own on each frame.
    using FramePass = std::function<Frame(const AVFrame &)>;
    // What a factory builds for frames of one shape: a graph, or a graph, a pass over the
    // frames it gives, and a graph taking the pass's frames.
    struct Chain {
        FilterGraph graph;
        AVFilterContext *source = nullptr;
        AVFilterContext *sink = nullptr;
        FramePass pass;
        FilterGraph after;
        AVFilterContext *afterSource = nullptr;
        AVFilterContext *afterSink = nullptr;
    };
    using GraphFactory = std::function<Chain(const AVFrame &shape)>;

    explicit FilterStage(GraphFactory factory)
        : m_factory(std::move(factory))
    {
    }
    // The encoder stage opens only once the first graph tells it the picture or sound shape.
    void SetNext(Consumer<Frame> &next) { m_next = &next; }

    // Builds the first graph from what the stream header says; the encoder is opened from
    // the sink's properties before any frame is decoded.
    void Configure(const AVFrame &shape);
    // Where the frames finally come out.
    AVFilterContext *Sink() const { return m_chain.after ? m_chain.afterSink : m_chain.sink; }

    void Put(Frame frame) override;
    void End() override;

private:
    bool SameShape(const AVFrame &frame) const;
    void Close();
    void Drain();

    GraphFactory m_factory;
    Consumer<Frame> *m_next = nullptr;
    Chain m_chain;
    Frame m_shape;
    // Where the last frame ends, so that a constant-rate output lasts as long as its source.
    std::int64_t m_lastPts = AV_NOPTS_VALUE;
    std::int64_t m_lastStep = 0;
    std::int64_t m_endPts = AV_NOPTS_VALUE;
};

class Muxer {
public:
    Muxer(AVFormatContext *format, OutputFile &file)
        : m_format(format)
        , m_file(file)
    {
    }
    // Takes packets stamped in encoderTimeBase from any thread.
    void Write(AVPacket *packet, int streamIndex, AVRational encoderTimeBase);
    void Finish();

private:
    void CheckFile(int ret, const char *doing);

    std::mutex m_mutex;
    AVFormatContext *m_format;
    OutputFile &m_file;
};

class EncodeStage : public Consumer<Frame> {
public:
    // onFrame gets each frame's time in seconds, for the progress report.
    EncodeStage(AVCodecContext *encoder, Muxer &muxer, int streamIndex, std::function<void(double)> onFrame)
        : m_encoder(encoder)
        , m_muxer(muxer)
        , m_streamIndex(streamIndex)
        , m_onFrame(std::move(onFrame))
    {
    }
    void Put(Frame frame) override;
    void End() override;

private:
    void Drain();

    AVCodecContext *m_encoder;
    Muxer &m_muxer;
    int m_streamIndex;
    std::function<void(double)> m_onFrame;
    Packet m_packet = NewPacket();
    std::int64_t m_nextPts = AV_NOPTS_VALUE; // sound: where the next frame must start
};

} // namespace mencoder
