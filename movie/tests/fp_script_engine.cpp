// A stand-in for the engine program whose behaviour is written in its input file, so that
// a movie run can meet every kind of engine. It reads the input and output names from its
// command line as the real engine does (Base64 of UTF-16LE), connects, says ready, waits for
// begin and then plays the input file line by line:
//
//   progress P POS   a progress report: Percent P, Position POS seconds
//   sleep MS         wait, still answering control frames
//   output           create the output file (exclusively) with a few bytes
//   finish           report the end of the file
//   fail CODE        report a failure with a 4-byte code
//   failempty        report a failure without a code
//   die CODE         end at once with that exit code
//   ignorestop       from now on a stop request (and SIGTERM) is ignored
//   step             wait, still answering control frames, until <input>.go<n> exists (n = 1, 2 ...)
//   never            (first line) never connect at all
//
// After the script it waits for frames and quits on stop. Every control frame it receives
// is appended to <input>.log as "paused=<p>", a stop as "stop".

#include "engine/protocol.h"
#include "platform/runtime_dir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace engine;

namespace {

using Bytes = std::vector<std::uint8_t>;

int g_in = -1;
int g_out = -1;
bool g_ignoreStop = false;
std::string g_log;

std::string DecodeBase64(const std::string &text)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        const auto at = alphabet.find(c);
        if (at == std::string::npos)
            continue;
        value = (value << 6) | unsigned(at);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(char((value >> bits) & 0xFF));
        }
    }
    return out;
}

// UTF-16LE to UTF-8.
std::string NameFrom(const std::string &base64)
{
    const std::string bytes = DecodeBase64(base64);
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned cp = std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8;
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
            const unsigned low = std::uint8_t(bytes[i + 2]) | std::uint8_t(bytes[i + 3]) << 8;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | cp >> 6));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | cp >> 12));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | cp >> 18));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

void Log(const std::string &line)
{
    if (g_log.empty())
        return;
    std::ofstream(g_log, std::ios::app) << line << '\n';
}

int ConnectTo(const std::string &path)
{
    for (int i = 0; i < 500; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path.c_str());
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0)
            return fd;
        ::close(fd);
        ::usleep(10000);
    }
    return -1;
}

void Send(std::uint8_t type, const Bytes &payload)
{
    const auto h = FrameHeader(type, std::uint32_t(payload.size()));
    Bytes frame(h.begin(), h.end());
    frame.insert(frame.end(), payload.begin(), payload.end());
    std::size_t at = 0;
    while (at < frame.size()) {
        const ssize_t w = ::send(g_out, frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
        if (w <= 0)
            return;
        at += std::size_t(w);
    }
}

bool ReadExact(void *buf, std::size_t n)
{
    auto *p = static_cast<std::uint8_t *>(buf);
    while (n > 0) {
        const ssize_t r = ::recv(g_in, p, n, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        n -= std::size_t(r);
    }
    return true;
}

// Handles one incoming frame; returns its type, or -1 when the link is gone.
int ReadFrame()
{
    std::uint8_t h[kFrameHeaderSize];
    if (!ReadExact(h, sizeof(h)))
        return -1;
    const std::uint32_t len = GetU32(h + 1);
    Bytes payload(len);
    if (len && !ReadExact(payload.data(), len))
        return -1;
    if (h[0] == std::uint8_t(MsgType::Control) && len == kControlSize)
        Log("paused=" + std::to_string(ControlRecord::Decode(payload.data()).Paused));
    if (h[0] == std::uint8_t(MsgType::Stop)) {
        Log("stop");
        if (!g_ignoreStop)
            ::_exit(0);
    }
    return h[0];
}

// Waits ms milliseconds (forever when negative), answering frames meanwhile; false when the
// link is gone.
bool Serve(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int wait = -1;
        if (ms >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return true;
            wait = int(left.count());
        }
        pollfd p{g_in, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno == EINTR)
            continue;
        if (r > 0 && ReadFrame() < 0)
            return false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string input, output;
    int n = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("-pipename=", 0) == 0)
            n = std::atoi(args[i].c_str() + 10);
        else if (args[i] == "-o" && i + 1 < args.size())
            output = NameFrom(args[i + 1]);
    }
    if (!args.empty())
        input = NameFrom(args[0]);
    g_log = input + ".log";

    std::vector<std::string> script;
    {
        std::ifstream in(input);
        for (std::string line; std::getline(in, line);)
            script.push_back(line);
    }
    if (!script.empty() && script[0] == "never")
        for (;;)
            ::pause();

    const auto dir = platform::RuntimeDir();
    if (!dir || n <= 0)
        return 2;
    g_in = ConnectTo(*dir + "/" + SendPipeName(n));
    g_out = ConnectTo(*dir + "/" + RcvPipeName(n));
    if (g_in < 0 || g_out < 0)
        return 2;
    Send(std::uint8_t(MsgType::Ready), {});
    for (;;) {
        const int type = ReadFrame();
        if (type < 0)
            return 2;
        if (type == std::uint8_t(MsgType::Begin))
            break;
    }

    int steps = 0;
    for (const std::string &line : script) {
        std::istringstream words(line);
        std::string cmd;
        words >> cmd;
        if (cmd == "progress") {
            EngineStatus s;
            words >> s.Percent >> s.Position;
            const auto b = s.Encode();
            Send(std::uint8_t(MsgType::Progress), Bytes(b.begin(), b.end()));
        } else if (cmd == "sleep") {
            int ms = 0;
            words >> ms;
            if (!Serve(ms))
                return 2;
        } else if (cmd == "output") {
            const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0) {
                (void)!::write(fd, "movie", 5);
                ::close(fd);
            }
        } else if (cmd == "finish") {
            EngineStatus s;
            s.Percent = 100;
            const auto b = s.Encode();
            Send(std::uint8_t(MsgType::Finished), Bytes(b.begin(), b.end()));
        } else if (cmd == "fail") {
            std::uint32_t code = 0;
            words >> code;
            Bytes b(4);
            PutU32(b.data(), code);
            Send(std::uint8_t(MsgType::Failed), b);
        } else if (cmd == "failempty") {
            Send(std::uint8_t(MsgType::Failed), {});
        } else if (cmd == "die") {
            int code = 0;
            words >> code;
            ::_exit(code);
        } else if (cmd == "step") {
            const std::string gate = input + ".go" + std::to_string(++steps);
            while (::access(gate.c_str(), F_OK) != 0) {
                if (!Serve(5))
                    return 2;
            }
        } else if (cmd == "ignorestop") {
            g_ignoreStop = true;
            std::signal(SIGTERM, SIG_IGN);
        }
    }
    while (Serve(-1)) {
    }
    if (g_ignoreStop)
        for (;;)
            ::pause();
    return 0;
}
