#include "encoder/stages.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace mencoder {

using engine::FailureCode;

// ---- decoding ----

void DecodeStage::Put(Packet packet)
{
    const int ret = avcodec_send_packet(m_decoder, packet.get());
    if (ret == AVERROR(ENOMEM))
        Check(ret, FailureCode::Internal, "decoding");
    // A damaged packet costs its own picture or sound only, as in any player.
    if (ret < 0 && ret != AVERROR(EAGAIN))
        ++m_errors;
    Drain();
}

void DecodeStage::End()
{
    avcodec_send_packet(m_decoder, nullptr);
    Drain();
    if (m_frames == 0)
        throw AvError(FailureCode::DecodeFailed,
                      std::string("no ") + av_get_media_type_string(m_decoder->codec_type) + " frame could be decoded");
    // A few damaged packets cost a few pictures; more lost than two in three (the ffmpeg command
    // line's limit too) is a damaged file, not a converted one.
    if (m_errors * 3 > (m_frames + m_errors) * 2)
        throw AvError(FailureCode::DecodeFailed,
                      "damaged: " + std::to_string(m_errors) + " of " + std::to_string(m_frames + m_errors) + " "
                          + av_get_media_type_string(m_decoder->codec_type) + " frames could not be decoded");
    m_next.End();
}

void DecodeStage::Drain()
{
    for (;;) {
        Frame frame = NewFrame();
        const int ret = avcodec_receive_frame(m_decoder, frame.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return;
        if (ret == AVERROR(ENOMEM))
            Check(ret, FailureCode::Internal, "decoding");
        if (ret < 0) {
            ++m_errors;
            return;
        }
        ++m_frames;
        m_restamp(frame.get());
        m_next.Put(std::move(frame));
    }
}

// ---- filtering ----

void FilterStage::Configure(const AVFrame &shape)
{
    m_shape = NewFrame();
    m_shape->width = shape.width;
    m_shape->height = shape.height;
    m_shape->format = shape.format;
    m_shape->sample_rate = shape.sample_rate;
    m_shape->sample_aspect_ratio = shape.sample_aspect_ratio;
    m_shape->color_primaries = shape.color_primaries;
    m_shape->color_trc = shape.color_trc;
    m_shape->colorspace = shape.colorspace;
    m_shape->color_range = shape.color_range;
    m_shape->chroma_location = shape.chroma_location;
    Check(av_channel_layout_copy(&m_shape->ch_layout, &shape.ch_layout), FailureCode::Internal, "channel layout");
    m_chain = {}; // the old graphs go before the new ones take their memory
    m_chain = m_factory(*m_shape);
}

bool FilterStage::SameShape(const AVFrame &frame) const
{
    if (m_shape->width > 0) {
        // Broadcast recordings switch between 4:3 and 16:9 pictures of one size; the header
        // may not know the aspect at all until the first picture is decoded.
        const AVRational a = frame.sample_aspect_ratio, b = m_shape->sample_aspect_ratio;
        const bool sameAspect = (a.num <= 0 || a.den <= 0) ? (b.num <= 0 || b.den <= 0) : av_cmp_q(a, b) == 0;
        // The header may not name the colours either; they decide the colour filters. A picture
        // that names none keeps the graph: some streams name them only now and then.
        const auto same = [](int f, int s, int unnamed) { return f == s || f == unnamed; };
        const bool sameColour = same(frame.color_primaries, m_shape->color_primaries, AVCOL_PRI_UNSPECIFIED)
                                && same(frame.color_trc, m_shape->color_trc, AVCOL_TRC_UNSPECIFIED)
                                && same(frame.colorspace, m_shape->colorspace, AVCOL_SPC_UNSPECIFIED)
                                && same(frame.color_range, m_shape->color_range, AVCOL_RANGE_UNSPECIFIED)
                                && same(frame.chroma_location, m_shape->chroma_location, AVCHROMA_LOC_UNSPECIFIED);
        return frame.width == m_shape->width && frame.height == m_shape->height && frame.format == m_shape->format
               && sameAspect && sameColour;
    }
    return frame.sample_rate == m_shape->sample_rate && frame.format == m_shape->format
           && av_channel_layout_compare(&frame.ch_layout, &m_shape->ch_layout) == 0;
}

void FilterStage::Close()
{
    const auto close = [this](AVFilterContext *source, AVRational timeBase) {
        if (m_endPts != AV_NOPTS_VALUE)
            Check(
                av_buffersrc_close(source, av_rescale_q(m_endPts, m_chain.source->outputs[0]->time_base, timeBase), 0),
                FailureCode::FilterFailed, "filtering");
        else
            Check(av_buffersrc_add_frame(source, nullptr), FailureCode::FilterFailed, "filtering");
    };
    close(m_chain.source, m_chain.source->outputs[0]->time_base);
    if (m_chain.after) {
        // What the first graph still holds goes through the pass before the second ends.
        Drain();
        close(m_chain.afterSource, m_chain.afterSource->outputs[0]->time_base);
    }
}

void FilterStage::Put(Frame frame)
{
    if (!SameShape(*frame)) {
        // The stream changed size or format: let the old graph finish, then build anew.
        Close();
        Drain();
        Configure(*frame);
    }
    if (frame->pts != AV_NOPTS_VALUE) {
        if (m_lastPts != AV_NOPTS_VALUE && frame->pts > m_lastPts)
            m_lastStep = frame->pts - m_lastPts;
        m_lastPts = frame->pts;
        std::int64_t length = frame->pkt_duration > 0 ? frame->pkt_duration : m_lastStep;
        if (frame->nb_samples > 0 && frame->sample_rate > 0)
            length = av_rescale_q(frame->nb_samples, AVRational{1, frame->sample_rate},
                                  m_chain.source->outputs[0]->time_base);
        m_endPts = frame->pts + length;
    }
    Check(av_buffersrc_add_frame_flags(m_chain.source, frame.get(), 0), FailureCode::FilterFailed, "filtering");
    Drain();
}

void FilterStage::End()
{
    Close();
    Drain();
    m_next->End();
}

namespace {

// Hands every frame `sink` has ready to `take`, stamped with the sink's time base.
template <typename Take>
void FromSink(AVFilterContext *sink, const Take &take)
{
    const AVRational timeBase = av_buffersink_get_time_base(sink);
    for (;;) {
        Frame frame = NewFrame();
        const int ret = av_buffersink_get_frame(sink, frame.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return;
        Check(ret, FailureCode::FilterFailed, "filtering");
        frame->time_base = timeBase;
        take(std::move(frame));
    }
}

} // namespace

void FilterStage::Drain()
{
    const auto onward = [this](Frame frame) { m_next->Put(std::move(frame)); };
    if (!m_chain.after) {
        FromSink(m_chain.sink, onward);
        return;
    }
    FromSink(m_chain.sink, [&](Frame frame) {
        const Frame passed = m_chain.pass(*frame);
        Check(av_buffersrc_add_frame_flags(m_chain.afterSource, passed.get(), 0), FailureCode::FilterFailed,
              "filtering");
        FromSink(m_chain.afterSink, onward);
    });
    FromSink(m_chain.afterSink, onward);
}

// ---- muxing ----

void Muxer::CheckFile(int ret, const char *doing)
{
    const FailureCode fileFailure = m_file.WriteFailure();
    if (fileFailure != FailureCode::None)
        throw AvError(fileFailure, doing, ret);
    Check(ret, FailureCode::ContainerRefused, doing);
}

void Muxer::Write(AVPacket *packet, int streamIndex, AVRational encoderTimeBase)
{
    std::lock_guard lock(m_mutex);
    // The encoder stamps packets in its own time base; the muxer wants the stream's.
    av_packet_rescale_ts(packet, encoderTimeBase, m_format->streams[streamIndex]->time_base);
    packet->stream_index = streamIndex;
    CheckFile(av_interleaved_write_frame(m_format, packet), "writing the output");
}

void Muxer::Finish()
{
    std::lock_guard lock(m_mutex);
    CheckFile(av_write_trailer(m_format), "finishing the output");
}

// ---- encoding ----

void EncodeStage::Put(Frame frame)
{
    if (frame->pts != AV_NOPTS_VALUE) {
        m_onFrame(frame->pts * av_q2d(frame->time_base));
        frame->pts = av_rescale_q(frame->pts, frame->time_base, m_encoder->time_base);
    }
    if (frame->nb_samples > 0) {
        // Sound never overlaps itself: a frame stamped early by rounding follows its predecessor.
        if (m_nextPts != AV_NOPTS_VALUE && (frame->pts == AV_NOPTS_VALUE || frame->pts < m_nextPts))
            frame->pts = m_nextPts;
        m_nextPts =
            frame->pts + av_rescale_q(frame->nb_samples, AVRational{1, frame->sample_rate}, m_encoder->time_base);
    }
    frame->pict_type = AV_PICTURE_TYPE_NONE; // let the encoder choose; keyframes of the source mean nothing here
    Check(avcodec_send_frame(m_encoder, frame.get()), FailureCode::EncodeFailed, "encoding");
    Drain();
}

void EncodeStage::End()
{
    Check(avcodec_send_frame(m_encoder, nullptr), FailureCode::EncodeFailed, "encoding");
    Drain();
}

void EncodeStage::Drain()
{
    for (;;) {
        const int ret = avcodec_receive_packet(m_encoder, m_packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return;
        Check(ret, FailureCode::EncodeFailed, "encoding");
        m_muxer.Write(m_packet.get(), m_streamIndex, m_encoder->time_base);
        av_packet_unref(m_packet.get());
    }
}

} // namespace mencoder
