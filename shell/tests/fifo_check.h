#pragma once

#include <QString>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fifocheck {

inline bool MakeFifo(const QString &path) { return ::mkfifo(path.toLocal8Bit().constData(), 0600) == 0; }

// Runs call on a thread of its own. Each time the call opens the FIFO for reading, which
// waits for a writer forever, a writer comes to release it and the answer is false; so a
// call that would hang fails instead.
inline bool ReturnsWithoutOpening(const QString &fifo, const std::function<void()> &call)
{
    std::promise<void> returned;
    std::future<void> done = returned.get_future();
    std::thread caller([&] {
        call();
        returned.set_value();
    });
    bool opened = false;
    const QByteArray name = fifo.toLocal8Bit();
    // Until the call returns (the wait wakes at once then), look now and then for a reader.
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        // Opening for writing without waiting succeeds only while a reader has the FIFO open.
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            opened = true;
            ::close(fd); // the reader sees the end of the stream
        }
    }
    caller.join();
    return !opened;
}

} // namespace fifocheck
