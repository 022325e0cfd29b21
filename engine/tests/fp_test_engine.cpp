// A scripted stand-in for the engine program: speaks the frame protocol over raw sockets
// and misbehaves on request, so the application's side can be tested against a real
// process. Started as:  fp_test_engine -mode=<m> [-log=<file>] -wchar -pipename=<n>
//
// Modes: normal, never (never connects), one (connects the command socket only), split
// (frames cut into three writes, a header split), packed (all frames in one write), junk
// (unlisted types, wrong lengths, data blocks), failempty, failcode, ignorestop, die (ends
// mid-file), squat (a foreign process trying to take the engine's place).
// Every frame received is logged as "<type> <length>[ paused=<p>]".
// On its standard error: -say writes "line 1" ... "line <n>" at start; -flood writes, before
// the finish, a line of <MiB>/2 MiB and then short lines up to <MiB> MiB and "after flood";
// with either, the stop message is answered with "stopping" without a newline.

#include "engine/protocol.h"
#include "platform/runtime_dir.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace engine;

namespace {

std::string g_mode = "normal";
std::string g_log;
int g_say = 0;
int g_floodMiB = 0;
int g_in = -1;  // application -> engine
int g_out = -1; // engine -> application

void Log(const std::string &line)
{
    if (g_log.empty())
        return;
    const int fd = ::open(g_log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string l = line + "\n";
    (void)!::write(fd, l.data(), l.size());
    ::close(fd);
}

int ConnectTo(const std::string &path, int attempts, int sleepMicros)
{
    for (int i = 0; i < attempts; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path.c_str());
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0)
            return fd;
        ::close(fd);
        ::usleep(sleepMicros);
    }
    return -1;
}

using Bytes = std::vector<std::uint8_t>;

Bytes MakeFrame(std::uint8_t type, const Bytes &payload)
{
    const auto h = FrameHeader(type, static_cast<std::uint32_t>(payload.size()));
    Bytes f(h.size() + payload.size());
    std::memcpy(f.data(), h.data(), h.size());
    if (!payload.empty())
        std::memcpy(f.data() + h.size(), payload.data(), payload.size());
    return f;
}

Bytes Status(int percent, double position, int result)
{
    EngineStatus s;
    s.Percent = percent;
    s.Position = position;
    s.Result = result;
    const auto b = s.Encode();
    return Bytes(b.begin(), b.end());
}

bool Write(const Bytes &b)
{
    std::size_t at = 0;
    while (at < b.size()) {
        const ssize_t w = ::send(g_out, b.data() + at, b.size() - at, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        at += static_cast<std::size_t>(w);
    }
    return true;
}

// Three writes with pauses between, the first ending inside the header.
void WriteInThree(const Bytes &f)
{
    const std::size_t a = 3, b = std::min<std::size_t>(f.size(), 9);
    Write(Bytes(f.begin(), f.begin() + a));
    ::usleep(20000);
    Write(Bytes(f.begin() + a, f.begin() + b));
    ::usleep(20000);
    Write(Bytes(f.begin() + b, f.end()));
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

void Say(const std::string &text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const ssize_t w = ::write(STDERR_FILENO, text.data() + at, text.size() - at);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;
        at += static_cast<std::size_t>(w);
    }
}

void Flood()
{
    const std::size_t total = std::size_t(g_floodMiB) << 20;
    const std::string chunk(64 * 1024, 'x');
    std::size_t written = 0;
    while (written < total / 2) {
        Say(chunk);
        written += chunk.size();
    }
    Say("\n");
    std::string lines;
    for (int i = 0; lines.size() < chunk.size(); ++i)
        lines += "flood " + std::to_string(i) + "\n";
    while (written < total) {
        Say(lines);
        written += lines.size();
    }
    Say("after flood\n");
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
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

void OnBegin()
{
    const Bytes p1 = MakeFrame(14, Status(25, 1.5, 0));
    const Bytes p2 = MakeFrame(14, Status(60, 3.0, 0));
    const Bytes fin = MakeFrame(15, Status(100, 4.0, 7));
    if (g_floodMiB > 0)
        Flood();
    if (g_mode == "normal" || g_mode == "ignorestop") {
        Write(p1);
        Write(p2);
        Write(fin);
    } else if (g_mode == "split") {
        WriteInThree(p1);
        WriteInThree(MakeFrame(5, {}));
        WriteInThree(p2);
        WriteInThree(fin);
    } else if (g_mode == "packed") {
        Write(Concat({p1, MakeFrame(5, {}), p2, fin}));
    } else if (g_mode == "junk") {
        Bytes header7(48, 0x77);
        PutU32(header7.data() + 20, 10); // announces 10 bytes of data, 5 follow
        Bytes chunk11(16 + 40, 0xBB);
        Write(Concat({p1, MakeFrame(14, Bytes(23, 0x63)), MakeFrame(14, Bytes(25, 0x63)), MakeFrame(99, Bytes(3, 1)),
                      MakeFrame(0, {}), MakeFrame(15, Bytes(23, 0)), MakeFrame(4, Bytes(1864, 0x44)),
                      MakeFrame(4, Bytes(100, 0x45)), MakeFrame(7, Concat({header7, Bytes(5, 0x78)})),
                      MakeFrame(11, chunk11), MakeFrame(11, Bytes(16, 0xCC)), p2, fin}));
    } else if (g_mode == "failempty") {
        Write(Concat({p1, MakeFrame(16, {})}));
    } else if (g_mode == "failcode") {
        Bytes code(4);
        PutU32(code.data(), 0x00012345);
        Write(Concat({p1, MakeFrame(16, code)}));
    } else if (g_mode == "die") {
        Write(p1);
        ::_exit(3);
    }
}

int Squat(int n, const std::string &dir)
{
    // Grab both names as soon as they appear, then try to pass for the engine.
    const int in = ConnectTo(dir + "/" + SendPipeName(n), 4000, 500);
    // Both names appear together, so a missing second one means the engine already took it.
    const int out = in < 0 ? -1 : ConnectTo(dir + "/" + RcvPipeName(n), 2000, 500);
    if (in < 0 || out < 0) {
        // The engine was quicker and the names are gone: nothing to pass for.
        Log("squat no connect");
        return 0;
    }
    Log("squat connected");
    g_out = out;
    const Bytes fake = MakeFrame(16, Bytes{1, 0, 0, 0});
    for (int i = 0; i < 200; ++i) {
        if (!Write(fake)) {
            Log("squat cut");
            return 0;
        }
        ::usleep(10000);
    }
    Log("squat not cut");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int n = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("-mode=", 0) == 0)
            g_mode = a.substr(6);
        else if (a.rfind("-log=", 0) == 0)
            g_log = a.substr(5);
        else if (a.rfind("-pipename=", 0) == 0)
            n = std::atoi(a.c_str() + 10);
        else if (a.rfind("-say=", 0) == 0)
            g_say = std::atoi(a.c_str() + 5);
        else if (a.rfind("-flood=", 0) == 0)
            g_floodMiB = std::atoi(a.c_str() + 7);
    }
    for (int i = 1; i <= g_say; ++i)
        Say("line " + std::to_string(i) + "\n");
    std::string args;
    for (int i = 1; i < argc; ++i)
        args += std::string(i > 1 ? "|" : "") + argv[i];
    Log("args " + args);

    const auto dir = platform::RuntimeDir();
    if (!dir || n <= 0)
        return 2;
    if (g_mode == "squat")
        return Squat(n, *dir);
    if (g_mode == "never")
        for (;;)
            ::pause();

    g_in = ConnectTo(*dir + "/" + SendPipeName(n), 300, 10000);
    if (g_in < 0)
        return 2;
    if (g_mode == "one")
        for (;;)
            ::pause();
    g_out = ConnectTo(*dir + "/" + RcvPipeName(n), 300, 10000);
    if (g_out < 0)
        return 2;
    Write(MakeFrame(5, {}));

    for (;;) {
        std::uint8_t h[kFrameHeaderSize];
        if (!ReadExact(h, sizeof(h)))
            break;
        const std::uint32_t len = GetU32(h + 1);
        Bytes payload(len);
        if (len && !ReadExact(payload.data(), len))
            break;
        std::string line = std::to_string(h[0]) + " " + std::to_string(len);
        if (h[0] == 2 && len == kControlSize)
            line += " paused=" + std::to_string(ControlRecord::Decode(payload.data()).Paused);
        Log(line);
        if (h[0] == 8)
            OnBegin();
        else if (h[0] == 1 && g_mode != "ignorestop") {
            if (g_say > 0 || g_floodMiB > 0)
                Say("stopping");
            return 0;
        }
    }
    if (g_mode == "ignorestop") {
        std::signal(SIGTERM, SIG_IGN);
        for (;;)
            ::pause();
    }
    return 0;
}
