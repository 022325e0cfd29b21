#pragma once

// The last lines a child process writes to its standard error: the application hands the
// child the write end of a pipe and a reader thread of its own keeps reading it, so a
// chatty child is never blocked and never makes this grow: at most kKeptLines lines of at
// most kLineBytes bytes each (a longer line is cut and ends in "…"). A line ends at "\n"
// or "\r" (progress lines overwrite themselves with "\r"); empty lines are dropped. Bytes
// are kept as the child wrote them. Plain C++, no Qt.
//
// Threads: Open, ReleaseWriteEnd, Close and Lines belong to the owner's thread; the reader
// thread, started by Open and joined by Close, only adds lines under the lock.

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace engine {

class DiagnosticsTail {
public:
    static constexpr std::size_t kKeptLines = 20;
    static constexpr std::size_t kLineBytes = 1000;

    DiagnosticsTail() = default;
    ~DiagnosticsTail() { Close(); }
    DiagnosticsTail(const DiagnosticsTail &) = delete;
    DiagnosticsTail &operator=(const DiagnosticsTail &) = delete;

    // Closes what an earlier Open left, forgets its lines, makes a fresh pipe and starts
    // reading it. Returns the write end for the child's standard error (close-on-exec, so
    // no other child inherits it), or -1 when no pipe or thread could be made.
    int Open();
    // Closes our copy of the write end once the child holds its own (or failed to start):
    // the reader sees the end of the stream when the child has gone.
    void ReleaseWriteEnd();
    // Takes what the ended child left in the pipe (up to a bound, should someone still be
    // writing), keeps an unfinished last line, stops and joins the reader. The lines stay
    // until the next Open. Harmless twice.
    void Close();

    // Oldest first; a line still being written is not among them until Close.
    std::vector<std::string> Lines() const;

private:
    void Read(int readFd, int wakeFd);
    void Feed(const char *data, std::size_t size);
    void EndLine();

    int m_readFd = -1;
    int m_writeFd = -1;
    int m_wakeFd = -1;
    std::thread m_reader;
    // The reader's line in progress; only the reader touches it while it runs.
    std::string m_partial;
    bool m_partialCut = false;

    mutable std::mutex m_mutex;
    std::deque<std::string> m_lines;
};

} // namespace engine
