#include "platform/process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

std::vector<std::string> SplitCommandLine(std::string_view text)
{
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false;
    bool quoted = false;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if ((c == ' ' || c == '\t') && !quoted) {
            if (inArg)
                args.push_back(std::move(cur));
            cur.clear();
            inArg = false;
            ++i;
            continue;
        }
        inArg = true;
        if (c == '\\') {
            std::size_t count = 0;
            while (i < n && text[i] == '\\') {
                ++count;
                ++i;
            }
            if (i < n && text[i] == '"') {
                cur.append(count / 2, '\\');
                if (count % 2 == 1) {
                    cur.push_back('"');
                    ++i;
                }
                // even: the quote is handled by the next round
            } else {
                cur.append(count, '\\');
            }
            continue;
        }
        if (c == '"') {
            ++i;
            if (quoted && i < n && text[i] == '"') {
                cur.push_back('"'); // "" inside quotes: a quote, and quoting ends
                quoted = false;
                ++i;
            } else {
                quoted = !quoted;
            }
            continue;
        }
        cur.push_back(c);
        ++i;
    }
    if (inArg)
        args.push_back(std::move(cur));
    return args;
}

std::string ExecutableDir()
{
    char buf[PATH_MAX];
    const ssize_t len = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (len <= 0)
        return ".";
    std::string path(buf, static_cast<std::size_t>(len));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

Process::~Process()
{
    // A killed child goes at once, unless a thread of it is stuck in the kernel: then it is
    // left to the system rather than holding the program's end.
    if (Kill())
        WaitFor(std::chrono::seconds(1));
    Forget();
}

bool Process::Start(const std::string &program, const std::vector<std::string> &args, int errorFd)
{
    if (m_pid > 0) {
        m_error = EBUSY;
        return false;
    }
    m_exitCode.reset();
    m_error = 0;

    // Everything the child needs is prepared before fork: between fork and exec only
    // async-signal-safe calls are allowed in a threaded program.
    std::vector<std::string> argvStore;
    argvStore.reserve(args.size() + 1);
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // A close-on-exec pipe tells us whether exec failed, and why.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        m_error = errno;
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the parent died before prctl took effect
            ::_exit(127);
        // A group of its own: a Ctrl-C in the terminal reaches the parent alone, which decides
        // how its child stops.
        ::setpgid(0, 0);
        // dup2 clears close-on-exec on the copy; a descriptor already at 2 keeps its flag.
        if (errorFd == STDERR_FILENO)
            ::fcntl(STDERR_FILENO, F_SETFD, 0);
        else if (errorFd >= 0)
            ::dup2(errorFd, STDERR_FILENO);
        // Nothing of ours is inherited except the error pipe, which closes on exec.
        ::syscall(SYS_close_range, 3u, static_cast<unsigned>(report[1]) - 1u, 0u);
        ::syscall(SYS_close_range, static_cast<unsigned>(report[1]) + 1u, ~0u, 0u);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(program.c_str(), argv.data());
        const int err = errno;
        (void)!::write(report[1], &err, sizeof(err));
        ::_exit(127);
    }
    ::close(report[1]);
    int err = 0;
    ssize_t r;
    do {
        r = ::read(report[0], &err, sizeof(err));
    } while (r < 0 && errno == EINTR);
    ::close(report[0]);
    m_pid = pid;
    if (r == static_cast<ssize_t>(sizeof(err))) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        m_error = err;
        return false;
    }
    // Opened before anyone can reap the child, so the id cannot have gone to another process.
    m_endFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    return true;
}

void Process::Forget()
{
    m_pid = -1;
    if (m_endFd >= 0) {
        ::close(m_endFd);
        m_endFd = -1;
    }
}

void Process::Reaped(int status)
{
    Forget();
    if (WIFEXITED(status))
        m_exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        m_exitCode = 128 + WTERMSIG(status);
}

bool Process::IsAlive()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == 0)
        return true;
    if (r == m_pid)
        Reaped(status);
    else
        Forget(); // not our child any more (reaped elsewhere)
    return false;
}

bool Process::WaitFor(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (IsAlive()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        // Without a pidfd, a look every 2 ms.
        pollfd end{m_endFd, POLLIN, 0};
        ::poll(&end, m_endFd >= 0 ? 1 : 0, m_endFd >= 0 ? static_cast<int>(left.count()) : 2);
    }
    return true;
}

bool Process::Terminate()
{
    // A child not yet reaped keeps its id, so the signal cannot reach another process.
    if (m_pid <= 0)
        return false;
    ::kill(m_pid, SIGTERM);
    return true;
}

bool Process::Kill()
{
    if (!IsAlive())
        return false;
    ::kill(m_pid, SIGKILL);
    IsAlive();
    return true;
}

} // namespace platform
