#include "engine/pipe_channel.h"

#include "engine/frame_writer.h"

#include "engine/protocol.h"
#include "platform/runtime_dir.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace engine {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_pipeCounter{0};

constexpr std::size_t kReadBlock = 524288;

int ListenAt(const std::string &path)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path))
        return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

    // A socket file left by a crashed run would make bind fail; anything else of that name
    // is not ours to remove.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(path.c_str());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 || ::chmod(path.c_str(), 0600) != 0
        || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int MillisLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

} // namespace

int PipeChannel::Open(Handler handler, ConnectHandler onConnect)
{
    Close();
    if (!handler)
        return 0;
    std::string dir = m_dirOverride;
    if (dir.empty()) {
        const auto runtime = platform::RuntimeDir();
        if (!runtime)
            return 0;
        dir = *runtime;
    }
    m_handler = std::move(handler);
    m_onConnect = std::move(onConnect);
    m_connectReported = false;
    m_stopping = false;
    m_failed = false;
    m_peerClosed = false;
    m_connected = 0;
    m_peerPid = 0;
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stopFd < 0)
        return 0;

    m_pipeNumber = ++g_pipeCounter;
    m_paths[0] = dir + "/" + SendPipeName(m_pipeNumber);
    m_paths[1] = dir + "/" + RcvPipeName(m_pipeNumber);
    for (int i = 0; i < 2; ++i) {
        m_listenFds[i] = ListenAt(m_paths[i]);
        if (m_listenFds[i] < 0) {
            Close();
            return 0;
        }
    }
    try {
        for (int i = 0; i < 2; ++i)
            m_connectThreads[i] = std::thread(&PipeChannel::ConnectThread, this, i);
        m_reader = std::thread(&PipeChannel::ReaderThread, this);
    } catch (const std::system_error &) {
        Close();
        return 0;
    }
    return m_pipeNumber;
}

void PipeChannel::SetPeerPid(pid_t pid)
{
    {
        std::lock_guard lock(m_mutex);
        m_peerPid = pid;
    }
    m_cv.notify_all();
}

bool PipeChannel::WaitForPeerPid(Clock::time_point deadline, pid_t *pid)
{
    std::unique_lock lock(m_mutex);
    m_cv.wait_until(lock, deadline, [this] { return m_peerPid != 0 || m_stopping; });
    *pid = m_peerPid;
    return m_peerPid != 0 && !m_stopping;
}

void PipeChannel::ConnectThread(int index)
{
    const auto deadline = Clock::now() + m_connectLimit;
    const int listenFd = m_listenFds[index];
    for (;;) {
        pollfd pfd[2] = {{listenFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        const int r = ::poll(pfd, 2, MillisLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || (pfd[1].revents & POLLIN))
            break; // time-out, error or stop
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;

        ucred cred{};
        socklen_t len = sizeof(cred);
        pid_t expected = 0;
        const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0;
        if (!known || !WaitForPeerPid(deadline, &expected) || cred.pid != expected || cred.uid != ::getuid()) {
            ::close(fd); // not the engine: cut it off and keep waiting
            continue;
        }
        if (index == 0) {
            // A command write must not hang the window thread on an engine that stopped reading.
            timeval tv{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
        }
        {
            std::lock_guard lock(m_mutex);
            m_fds[index] = fd;
        }
        // Nobody else may connect once the engine has: the name goes away now, and closing
        // the listener resets whoever is still waiting in its backlog.
        ::unlink(m_paths[index].c_str());
        ::close(listenFd);
        m_listenFds[index] = -1;
        const int connected = ++m_connected;
        m_cv.notify_all();
        if (connected == 2)
            ReportConnect(true);
        return;
    }
    m_failed = true;
    m_cv.notify_all();
    ReportConnect(false);
}

void PipeChannel::ReportConnect(bool connected)
{
    if (m_stopping || m_connectReported.exchange(true) || !m_onConnect)
        return;
    m_onConnect(connected);
}

void PipeChannel::ReaderThread()
{
    int fd = -1;
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_fds[1] >= 0 || m_failed || m_stopping; });
        fd = m_fds[1];
    }
    if (fd < 0)
        return;

    FrameReader reader;
    std::vector<std::uint8_t> buf(kReadBlock);
    bool open = true;
    while (open) {
        pollfd pfd[2] = {{fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        const int r = ::poll(pfd, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (pfd[1].revents & POLLIN))
            break;
        const ssize_t n = ::recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
        if (n > 0) {
            reader.Feed(buf.data(), static_cast<std::size_t>(n), m_handler);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            open = false;
        }
    }
    if (!open) {
        // The engine closed its end; idle until Close rather than spin on the dead socket.
        {
            std::lock_guard lock(m_mutex);
            m_peerClosed = true;
        }
        m_cv.notify_all();
        pollfd stop{m_stopFd, POLLIN, 0};
        while (::poll(&stop, 1, -1) < 0 && errno == EINTR) {
        }
    }
}

bool PipeChannel::WaitPeerClosed(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [this] { return m_peerClosed || m_stopping || m_fds[1] < 0 || m_failed; });
}

PipeChannel::ConnectState PipeChannel::WaitConnected(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, timeout, [this] { return m_connected == 2 || m_failed; });
    if (m_connected == 2)
        return ConnectState::Connected;
    return m_failed ? ConnectState::Failed : ConnectState::Waiting;
}

bool PipeChannel::Send(std::uint8_t type, const void *payload, std::uint32_t length)
{
    if (!payload && length != 0)
        return false;
    int fd;
    {
        std::lock_guard lock(m_mutex);
        fd = m_fds[0];
    }
    if (fd < 0)
        return false;
    std::lock_guard lock(m_sendMutex);
    return SendFrame(fd, type, payload, length);
}

void PipeChannel::Close()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_cv.notify_all();
    if (m_stopFd >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(m_stopFd, &one, sizeof(one));
    }
    {
        // Releases a reader blocked in recv even if it missed the stop signal.
        std::lock_guard lock(m_mutex);
        for (int fd : m_fds)
            if (fd >= 0)
                ::shutdown(fd, SHUT_RDWR);
    }
    for (auto &t : m_connectThreads)
        if (t.joinable())
            t.join();
    if (m_reader.joinable())
        m_reader.join();

    for (int i = 0; i < 2; ++i) {
        if (m_fds[i] >= 0) {
            ::close(m_fds[i]);
            m_fds[i] = -1;
        }
        if (m_listenFds[i] >= 0) {
            ::close(m_listenFds[i]);
            m_listenFds[i] = -1;
            ::unlink(m_paths[i].c_str());
        }
        m_paths[i].clear();
    }
    if (m_stopFd >= 0) {
        ::close(m_stopFd);
        m_stopFd = -1;
    }
    m_handler = nullptr;
    m_onConnect = nullptr;
}

} // namespace engine
