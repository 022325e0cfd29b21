#include "engine/engine_messages.h"

namespace engine {

void FinishingAck::Done() const
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->done = true;
    }
    m_state->cv.notify_all();
}

void EngineMessages::Attach(EngineSink *sink, StatusCopy *status)
{
    m_sink = sink;
    m_status = status;
}

void EngineMessages::Handle(const FrameView &f)
{
    switch (static_cast<MsgType>(f.type)) {
    case MsgType::Progress:
        if (f.length == kStatusSize && m_status)
            m_status->Store(EngineStatus::Decode(f.payload));
        break;
    case MsgType::Finished:
        if (f.length == kStatusSize)
            Finish(EngineStatus::Decode(f.payload).Result);
        break;
    case MsgType::Failed: {
        const std::uint32_t code = f.length == 4 ? GetU32(f.payload) : kFailureWithoutCode;
        if (m_sink)
            m_sink->EngineFailed(static_cast<int>(code & 0xFFFF));
        break;
    }
    case MsgType::OutputNamed:
        if (f.length > 0 && f.length <= kMaxOutputNameSize) {
            std::lock_guard lock(m_mutex);
            m_outputName.assign(reinterpret_cast<const char *>(f.payload), f.length);
        }
        break;
    case MsgType::Ready: {
        std::lock_guard lock(m_mutex);
        m_ready = true;
        break;
    }
    case MsgType::DataBlock:
        if (f.length == kBlockSize) {
            std::lock_guard lock(m_mutex);
            m_block4.emplace(f.payload, f.payload + f.length);
        }
        break;
    case MsgType::DataHeader:
        if (f.length > kHeaderSize7) {
            DataBlock b;
            b.header.assign(f.payload, f.payload + kHeaderSize7);
            // The data is kept only when the header's own length field agrees with the frame.
            if (GetU32(f.payload + kLengthField7) == f.length - kHeaderSize7)
                b.data.assign(f.payload + kHeaderSize7, f.payload + f.length);
            std::lock_guard lock(m_mutex);
            m_block7 = std::move(b);
        }
        break;
    case MsgType::DataChunk:
        if (f.length > kHeaderSize11) {
            DataBlock b{{f.payload, f.payload + kHeaderSize11}, {f.payload + kHeaderSize11, f.payload + f.length}};
            std::lock_guard lock(m_mutex);
            m_block11 = std::move(b);
        }
        break;
    default: break; // unlisted types are dropped
    }
}

void EngineMessages::Finish(std::int32_t result)
{
    if (!m_sink)
        return;
    FinishingAck ack;
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopping)
            m_pendingAck = ack.m_state;
        else
            ack.m_state->cancelled = true;
    }
    if (!ack.m_state->cancelled) {
        m_sink->EngineFinishing(ack);
        std::unique_lock wait(ack.m_state->mutex);
        ack.m_state->cv.wait(wait, [&] { return ack.m_state->done || ack.m_state->cancelled; });
    }
    {
        std::lock_guard lock(m_mutex);
        m_pendingAck.reset();
    }
    m_sink->EngineFinished(result);
}

void EngineMessages::BeginStopping()
{
    std::shared_ptr<FinishingAck::State> pending;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        pending = m_pendingAck;
    }
    if (pending) {
        {
            std::lock_guard lock(pending->mutex);
            pending->cancelled = true;
        }
        pending->cv.notify_all();
    }
}

void EngineMessages::Reset()
{
    std::lock_guard lock(m_mutex);
    m_ready = false;
    m_stopping = false;
    m_pendingAck.reset();
    m_block4.reset();
    m_block7.reset();
    m_block11.reset();
}

bool EngineMessages::IsReady() const
{
    std::lock_guard lock(m_mutex);
    return m_ready;
}

std::string EngineMessages::OutputName() const
{
    std::lock_guard lock(m_mutex);
    return m_outputName;
}

void EngineMessages::ForgetOutputName()
{
    std::lock_guard lock(m_mutex);
    m_outputName.clear();
}

std::optional<std::vector<std::uint8_t>> EngineMessages::Block4() const
{
    std::lock_guard lock(m_mutex);
    return m_block4;
}

std::optional<DataBlock> EngineMessages::Block7() const
{
    std::lock_guard lock(m_mutex);
    return m_block7;
}

std::optional<DataBlock> EngineMessages::Block11() const
{
    std::lock_guard lock(m_mutex);
    return m_block11;
}

} // namespace engine
