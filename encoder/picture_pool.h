#pragma once

// 8-bit 4:2:0 pictures for a pass of our own, from buffers that come back when the encoder is
// done with them: fresh memory for each picture would be zeroed by the kernel, page by page,
// every time.

#include "encoder/av_util.h"

#include <libavutil/buffer.h>

#include <memory>

namespace mencoder {

class PicturePool {
public:
    // A width x height yuv420p picture with `props`' timing and tags, rows padded to whole
    // vectors as av_frame_get_buffer lays them out.
    Frame Get(const AVFrame &props, int width, int height, const char *doing);

private:
    struct PoolFree {
        void operator()(AVBufferPool *p) const { av_buffer_pool_uninit(&p); }
    };
    std::unique_ptr<AVBufferPool, PoolFree> m_pool;
    int m_width = 0, m_height = 0;
};

} // namespace mencoder
