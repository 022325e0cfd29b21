#include "encoder/picture_pool.h"

#include <cstddef>

extern "C" {
#include <libavutil/macros.h>
}

namespace mencoder {

Frame PicturePool::Get(const AVFrame &props, int width, int height, const char *doing)
{
    Frame out = NewFrame();
    out->format = AV_PIX_FMT_YUV420P;
    out->width = width;
    out->height = height;
    const int lumaLine = FFALIGN(width, 64), chromaLine = FFALIGN((width + 1) / 2, 64);
    const std::size_t lumaSize = std::size_t(lumaLine) * std::size_t(height);
    const std::size_t chromaSize = std::size_t(chromaLine) * std::size_t((height + 1) / 2);
    if (!m_pool || m_width != width || m_height != height) {
        m_pool.reset(av_buffer_pool_init(lumaSize + 2 * chromaSize + 64, nullptr));
        m_width = width;
        m_height = height;
    }
    out->buf[0] = m_pool ? av_buffer_pool_get(m_pool.get()) : nullptr;
    if (!out->buf[0])
        throw AvError(engine::FailureCode::Internal, doing);
    out->data[0] = out->buf[0]->data;
    out->data[1] = out->data[0] + lumaSize;
    out->data[2] = out->data[1] + chromaSize;
    out->linesize[0] = lumaLine;
    out->linesize[1] = out->linesize[2] = chromaLine;
    Check(av_frame_copy_props(out.get(), &props), engine::FailureCode::Internal, doing);
    return out;
}

} // namespace mencoder
