#include "engine/diagnostics_tail.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace engine {

namespace {

// Once told to stop, at most this much more is read: a grandchild still holding the pipe
// must not keep Close waiting.
constexpr std::size_t kDrainBytes = 1 << 20;

// A cut may fall inside a UTF-8 sequence; its broken start is dropped.
void DropBrokenTail(std::string &s)
{
    std::size_t i = s.size();
    std::size_t continuation = 0;
    while (i > 0 && continuation < 3 && (static_cast<unsigned char>(s[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++continuation;
    }
    if (i == 0)
        return;
    const auto lead = static_cast<unsigned char>(s[i - 1]);
    if (lead < 0xC0)
        return;
    const std::size_t needed = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    if (continuation < needed)
        s.resize(i - 1);
}

void CloseFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

int DiagnosticsTail::Open()
{
    Close();
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }
    m_partial.clear();
    m_partialCut = false;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    m_readFd = fds[0];
    m_writeFd = fds[1];
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Only our end is non-blocking: the child's writes must never fail with EAGAIN.
    const int flags = ::fcntl(m_readFd, F_GETFL);
    if (m_wakeFd < 0 || flags < 0 || ::fcntl(m_readFd, F_SETFL, flags | O_NONBLOCK) != 0) {
        Close();
        return -1;
    }
    try {
        m_reader = std::thread(&DiagnosticsTail::Read, this, m_readFd, m_wakeFd);
    } catch (const std::system_error &) {
        Close();
        return -1;
    }
    return m_writeFd;
}

void DiagnosticsTail::ReleaseWriteEnd() { CloseFd(m_writeFd); }

void DiagnosticsTail::Close()
{
    ReleaseWriteEnd();
    if (m_reader.joinable()) {
        const std::uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof(one));
        m_reader.join();
    }
    CloseFd(m_readFd);
    CloseFd(m_wakeFd);
}

std::vector<std::string> DiagnosticsTail::Lines() const
{
    std::lock_guard lock(m_mutex);
    return {m_lines.begin(), m_lines.end()};
}

void DiagnosticsTail::Read(int readFd, int wakeFd)
{
    char buf[16384];
    pollfd fds[2] = {{readFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0) {
            std::size_t left = kDrainBytes;
            while (left > 0) {
                const ssize_t r = ::read(readFd, buf, std::min(sizeof(buf), left));
                if (r > 0) {
                    Feed(buf, static_cast<std::size_t>(r));
                    left -= static_cast<std::size_t>(r);
                } else if (r < 0 && errno == EINTR) {
                    continue;
                } else {
                    break; // drained (EAGAIN) or every writer gone
                }
            }
            break;
        }
        if (fds[0].revents != 0) {
            const ssize_t r = ::read(readFd, buf, sizeof(buf));
            if (r > 0)
                Feed(buf, static_cast<std::size_t>(r));
            else if (r == 0)
                break; // every writer has gone
            else if (errno != EINTR && errno != EAGAIN)
                break;
        }
    }
    EndLine(); // the child's last words may lack their newline
}

void DiagnosticsTail::Feed(const char *data, std::size_t size)
{
    const char *const end = data + size;
    while (data < end) {
        const char *stop = std::find_if(data, end, [](char c) { return c == '\n' || c == '\r'; });
        const std::size_t length = static_cast<std::size_t>(stop - data);
        const std::size_t room = kLineBytes - m_partial.size();
        if (length > room) {
            m_partial.append(data, room);
            m_partialCut = true;
        } else {
            m_partial.append(data, length);
        }
        if (stop == end)
            break;
        EndLine();
        data = stop + 1;
    }
}

void DiagnosticsTail::EndLine()
{
    if (m_partial.empty()) {
        m_partialCut = false;
        return;
    }
    std::string line = m_partial;
    m_partial.clear();
    if (m_partialCut) {
        DropBrokenTail(line);
        line += "\xE2\x80\xA6";
    }
    m_partialCut = false;
    std::lock_guard lock(m_mutex);
    m_lines.push_back(std::move(line));
    if (m_lines.size() > kKeptLines)
        m_lines.pop_front();
}

} // namespace engine
