#include "engine/pipe_client.h"

#include "engine/frame_writer.h"

#include "platform/runtime_dir.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace engine {

namespace {

using Clock = std::chrono::steady_clock;

// One connect attempt; -1 with errno set on failure.
int ConnectOnce(const std::string &path)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

int ConnectUntil(const std::string &path, Clock::time_point deadline)
{
    for (;;) {
        const int fd = ConnectOnce(path);
        if (fd >= 0)
            return fd;
        const bool retry = errno == ENOENT || errno == ECONNREFUSED || errno == EAGAIN || errno == EINTR;
        if (!retry || Clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

PipeClient::~PipeClient() { Close(); }

bool PipeClient::Connect(int pipeNumber, std::chrono::milliseconds timeout)
{
    const auto dir = platform::RuntimeDir();
    if (!dir)
        return false;
    return Connect(*dir, pipeNumber, timeout);
}

bool PipeClient::Connect(const std::string &dir, int pipeNumber, std::chrono::milliseconds timeout)
{
    Close();
    const auto deadline = Clock::now() + timeout;
    m_readFd = ConnectUntil(dir + "/" + SendPipeName(pipeNumber), deadline);
    if (m_readFd >= 0)
        m_writeFd = ConnectUntil(dir + "/" + RcvPipeName(pipeNumber), deadline);
    if (!IsConnected()) {
        Close();
        return false;
    }
    return true;
}

bool PipeClient::Send(std::uint8_t type, const void *payload, std::uint32_t length)
{
    if (!payload && length != 0)
        return false;
    // Under the lock: a progress frame from another thread cannot land in this one.
    std::lock_guard lock(m_sendMutex);
    return SendFrame(m_writeFd, type, payload, length);
}

void PipeClient::ReadAvailable()
{
    if (m_readFd < 0 || m_peerClosed)
        return;
    std::uint8_t buf[16384];
    for (;;) {
        const ssize_t r = ::recv(m_readFd, buf, sizeof(buf), MSG_DONTWAIT);
        if (r > 0) {
            m_reader.Feed(buf, static_cast<std::size_t>(r), [this](const FrameView &f) {
                m_frames.push_back(Frame{f.type, std::vector<std::uint8_t>(f.payload, f.payload + f.length)});
            });
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        m_peerClosed = true; // orderly close or a hard error
        return;
    }
}

std::optional<Frame> PipeClient::Poll()
{
    if (m_frames.empty())
        ReadAvailable();
    if (m_frames.empty())
        return std::nullopt;
    Frame f = std::move(m_frames.front());
    m_frames.pop_front();
    return f;
}

std::optional<Frame> PipeClient::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (auto f = Poll())
            return f;
        if (m_readFd < 0 || m_peerClosed)
            return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd pfd{m_readFd, POLLIN, 0};
        ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count() + 1, 1000)));
    }
}

void PipeClient::Close()
{
    std::lock_guard lock(m_sendMutex);
    if (m_readFd >= 0)
        ::close(m_readFd);
    if (m_writeFd >= 0)
        ::close(m_writeFd);
    m_readFd = m_writeFd = -1;
    m_peerClosed = false;
    m_reader.Reset();
    m_frames.clear();
}

} // namespace engine
