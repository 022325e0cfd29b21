#pragma once

// A child process started from a program path and a Windows-style argument text. Plain C++
// (no Qt): the engine link uses it. Owned by one thread, normally the window thread, which it
// never keeps waiting except in WaitFor: another thread learns the child's end from EndFd().
//
// The child gets the death signal SIGKILL when the thread that started it ends, so no child
// outlives the application: start it from a thread that lives as long as the owner. It runs in
// a process group of its own, so that no signal of the terminal's reaches it unasked.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform {

// Splits text into arguments the way Windows splits a command line: blanks and tabs
// separate; double quotes group and are removed; 2n backslashes before a quote give n
// backslashes and the quote acts, 2n+1 give n backslashes and a literal quote; backslashes
// elsewhere stay as they are; inside quotes, "" gives a literal quote and ends the quoting.
std::vector<std::string> SplitCommandLine(std::string_view text);

// The folder of the running executable (from /proc/self/exe), without a trailing slash.
std::string ExecutableDir();

class Process {
public:
    Process() = default;
    ~Process(); // kills a child still running, and reaps it unless it lingers past a second
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // Starts program with the given arguments (argv[0] is the program path). No descriptor
    // of ours is inherited, except errorFd, when given, as the child's standard error
    // (otherwise it shares ours). False, with Error() set, when a child already runs or the
    // program cannot be executed (missing, not executable): the failure of exec is reported
    // here, not as an exit code.
    bool Start(const std::string &program, const std::vector<std::string> &args, int errorFd = -1);
    bool Start(const std::string &program, std::string_view argumentText, int errorFd = -1)
    {
        return Start(program, SplitCommandLine(argumentText), errorFd);
    }

    // Whether a child was started and has not been reaped yet.
    bool HasChild() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // Whether the child still runs. Reaps it when it has ended (HasChild() turns false).
    bool IsAlive();
    // Waits up to timeout for the child to end; true when it has ended (or none is held).
    // Blocks: for tests, and for a child already killed (a relaunch, the program's end).
    bool WaitFor(std::chrono::milliseconds timeout);
    // SIGTERM, without waiting. False when no child is held.
    bool Terminate();
    // SIGKILL, without waiting: the child is reaped by IsAlive() once it has gone (at once when
    // it already has). False when no child is held or it had already ended.
    bool Kill();
    // Readable once the child has ended (a pidfd), for another thread to wait on; the child is
    // still reaped here. -1 when no child is held or the kernel has no pidfd. Closed when the
    // child is reaped: a waiter keeps a copy of its own.
    int EndFd() const { return m_endFd; }

    // Exit code of the last reaped child: its exit status, or 128 + signal number when a
    // signal ended it. nullopt while running or before any child.
    std::optional<int> ExitCode() const { return m_exitCode; }
    // errno of the last failed Start.
    int Error() const { return m_error; }

private:
    void Reaped(int status);
    void Forget();

    pid_t m_pid = -1;
    int m_endFd = -1;
    std::optional<int> m_exitCode;
    int m_error = 0;
};

} // namespace platform
