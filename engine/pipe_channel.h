#pragma once

// The application's end of the link to one engine process: two Unix-domain stream sockets
// in the private runtime folder, listening before the engine starts.
//   KX_Brivo_Pipe_Send<n>  application -> engine (commands, written by Send)
//   KX_Brivo_Pipe_Rcv<n>   engine -> application (reports, read by the reader thread)
// Only the process whose id was given by SetPeerPid may connect; anyone else is cut off
// and the wait goes on. Plain C++, no Qt.
//
// Threads: Open, SetPeerPid, WaitConnected and Close belong to the owner's thread; Send is
// safe from any thread. Each Open starts one connect thread per socket (ending once
// connected, failed or stopped), which reports the outcome to the connect handler, and one
// reader thread, which calls the handler once per complete frame. All of them are joined by
// Close.

#include "engine/frame_reader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace engine {

class PipeChannel {
public:
    using Handler = std::function<void(const FrameView &)>;
    // Once per Open, on a connect thread: true when both sockets are connected, false when a
    // socket gave up at the limit. Not called for a wait that Close ended.
    using ConnectHandler = std::function<void(bool connected)>;
    enum class ConnectState { Waiting, Connected, Failed };

    static constexpr std::chrono::milliseconds kDefaultConnectLimit{30000};

    PipeChannel() = default;
    ~PipeChannel() { Close(); }
    PipeChannel(const PipeChannel &) = delete;
    PipeChannel &operator=(const PipeChannel &) = delete;

    // How long each socket waits for the engine, from Open on.
    void SetConnectLimit(std::chrono::milliseconds limit) { m_connectLimit = limit; }
    // Folder for the sockets; by default platform::RuntimeDir() at Open.
    void SetDirectory(std::string dir) { m_dirOverride = std::move(dir); }

    // Closes what an earlier Open left, takes the next process-wide pipe number n (the
    // first channel of a run gets 1), creates and listens on both sockets (removing stale
    // socket files of that name) and starts the threads. Returns n, or 0 when the folder,
    // a socket or a thread cannot be made; nothing is left open then.
    int Open(Handler handler, ConnectHandler onConnect = {});

    // The only process allowed to connect. Connections that arrive before this is known
    // are held until it is, then checked.
    void SetPeerPid(pid_t pid);

    // Waits up to timeout for both sockets to be connected or for a connect thread to give
    // up (limit reached, or Close).
    ConnectState WaitConnected(std::chrono::milliseconds timeout);
    int ConnectedCount() const { return m_connected.load(); }
    bool ConnectFailed() const { return m_failed.load(); }

    // Writes one frame to the engine. False when the command socket is not connected or the
    // write fails (including a peer that stops reading for 5 s). Never raises SIGPIPE.
    bool Send(std::uint8_t type, const void *payload = nullptr, std::uint32_t length = 0);

    // The engine closed its report socket (ended or crashed); no more frames will come.
    bool PeerClosed() const { return m_peerClosed.load(); }
    // Close has begun: the reader is being told to stop.
    bool IsStopping() const { return m_stopping.load(); }
    int PipeNumber() const { return m_pipeNumber; }

    // Waits until the reader has taken in everything the peer sent before it closed its end;
    // at once when nothing is connected. False when the peer is still there after timeout.
    // Any thread but the reader's.
    bool WaitPeerClosed(std::chrono::milliseconds timeout);

    // Stops and joins the threads, closes every socket, removes the socket files and frees
    // the buffers. Safe when never opened or already closed.
    void Close();

private:
    // Index 0: command socket (Send<n>), 1: report socket (Rcv<n>).
    void ConnectThread(int index);
    void ReaderThread();
    void ReportConnect(bool connected);
    bool WaitForPeerPid(std::chrono::steady_clock::time_point deadline, pid_t *pid);

    std::chrono::milliseconds m_connectLimit = kDefaultConnectLimit;
    std::string m_dirOverride;
    Handler m_handler;
    ConnectHandler m_onConnect;
    std::atomic<bool> m_connectReported{false};
    int m_pipeNumber = 0;
    std::string m_paths[2];
    int m_listenFds[2] = {-1, -1};
    int m_stopFd = -1; // eventfd, readable once Close begins

    mutable std::mutex m_mutex; // guards m_fds, m_peerPid; with m_cv
    std::condition_variable m_cv;
    int m_fds[2] = {-1, -1};
    pid_t m_peerPid = 0;

    std::atomic<int> m_connected{0};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_peerClosed{false};
    std::mutex m_sendMutex;

    std::thread m_connectThreads[2];
    std::thread m_reader;
};

} // namespace engine
