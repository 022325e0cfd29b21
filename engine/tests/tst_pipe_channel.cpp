#include "engine/pipe_channel.h"
#include "engine/pipe_client.h"
#include "platform/process.h"
#include "platform/runtime_dir.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace engine;
using namespace std::chrono_literals;

namespace {

struct Collector {
    std::mutex mutex;
    std::vector<std::pair<int, std::vector<std::uint8_t>>> frames;

    PipeChannel::Handler Handler()
    {
        return [this](const FrameView &f) {
            std::lock_guard lock(mutex);
            frames.emplace_back(f.type, std::vector<std::uint8_t>(f.payload, f.payload + f.length));
        };
    }
    std::size_t Count()
    {
        std::lock_guard lock(mutex);
        return frames.size();
    }
};

bool Exists(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

class TstPipeChannel : public QObject {
    Q_OBJECT

    std::string m_dir;

private slots:
    void initTestCase()
    {
        const auto dir = platform::RuntimeDir();
        QVERIFY(dir);
        m_dir = *dir;
    }

    // Numbers run 1, 2, ... for the life of the process; the sockets carry them, are
    // private to the user and vanish on Close.
    void numbersAndNames()
    {
        PipeChannel a;
        const int first = a.Open([](const FrameView &) {});
        QCOMPARE(first, 1);
        const std::string send = m_dir + "/KX_Brivo_Pipe_Send1";
        const std::string rcv = m_dir + "/KX_Brivo_Pipe_Rcv1";
        struct stat st {};
        QCOMPARE(::lstat(send.c_str(), &st), 0);
        QVERIFY(S_ISSOCK(st.st_mode));
        QCOMPARE(st.st_mode & 077, 0u);
        QVERIFY(Exists(rcv));
        a.Close();
        QVERIFY(!Exists(send));
        QVERIFY(!Exists(rcv));

        PipeChannel b;
        QCOMPARE(b.Open([](const FrameView &) {}), 2);
        QVERIFY(Exists(m_dir + "/KX_Brivo_Pipe_Send2"));
    }

    // A socket file left behind by a crashed run does not block the name.
    void staleSocketReplaced()
    {
        PipeChannel probe;
        const int n = probe.Open([](const FrameView &) {});
        probe.Close();
        const std::string stale = m_dir + "/" + SendPipeName(n + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", stale.c_str());
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
        ::close(fd);
        QVERIFY(Exists(stale));

        PipeChannel c;
        QCOMPARE(c.Open([](const FrameView &) {}), n + 1);
        c.SetPeerPid(::getpid());
        PipeClient client;
        QVERIFY(client.Connect(n + 1, 2000ms));
        QCOMPARE(c.WaitConnected(2000ms), PipeChannel::ConnectState::Connected);
    }

    // Frames both ways with the engine's own client; sends from two threads at once
    // arrive whole.
    void clientRoundTrip()
    {
        Collector got;
        PipeChannel c;
        const int n = c.Open(got.Handler());
        QVERIFY(n > 0);
        c.SetPeerPid(::getpid());
        PipeClient client;
        QVERIFY(client.Connect(n, 2000ms));
        QCOMPARE(c.WaitConnected(2000ms), PipeChannel::ConnectState::Connected);
        QCOMPARE(c.ConnectedCount(), 2);

        // Connected: nobody else can even find the sockets now.
        QVERIFY(!Exists(m_dir + "/" + SendPipeName(n)));
        QVERIFY(!Exists(m_dir + "/" + RcvPipeName(n)));

        const int perThread = 2000;
        auto sender = [&](std::uint8_t type) {
            std::vector<std::uint8_t> payload(300, type);
            for (int i = 0; i < perThread; ++i)
                client.Send(type, payload.data(), static_cast<std::uint32_t>(payload.size()));
        };
        std::thread t1(sender, 14), t2(sender, 4);
        t1.join();
        t2.join();
        QTRY_COMPARE_WITH_TIMEOUT(got.Count(), std::size_t(2 * perThread), 10000);
        for (const auto &[type, payload] : got.frames) {
            QCOMPARE(payload.size(), std::size_t(300));
            QVERIFY(std::all_of(payload.begin(), payload.end(), [t = type](std::uint8_t b) { return b == t; }));
        }

        const auto control = ControlRecord{0, 1}.Encode();
        QVERIFY(c.Send(2, control.data(), kControlSize));
        QVERIFY(c.Send(8));
        const auto f1 = client.Wait(2000ms);
        QVERIFY(f1);
        QCOMPARE(f1->type, std::uint8_t(2));
        QCOMPARE(ControlRecord::Decode(f1->payload.data()).Paused, 1);
        const auto f2 = client.Wait(2000ms);
        QVERIFY(f2);
        QCOMPARE(f2->type, std::uint8_t(8));
        QVERIFY(f2->payload.empty());
        QVERIFY(!client.Poll());

        client.Close();
        QTRY_VERIFY_WITH_TIMEOUT(c.PeerClosed(), 2000);
        QVERIFY(!client.Send(14));
        // Nothing listens under that number any more: the client gives up at its limit.
        QVERIFY(!client.Connect(n, 100ms));
        c.Close();
        QVERIFY(!c.Send(8));
    }

    // Nobody connects, or only one socket: the wait fails at the limit, not before.
    void connectLimit_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("never connects") << "never";
        QTest::newRow("command socket only") << "one";
    }
    void connectLimit()
    {
        QFETCH(QString, mode);
        PipeChannel c;
        c.SetConnectLimit(400ms);
        QElapsedTimer timer;
        timer.start();
        const int n = c.Open([](const FrameView &) {});
        QVERIFY(n > 0);
        platform::Process engine;
        QVERIFY(engine.Start(TestEnginePath(), {"-mode=" + mode.toStdString(), "-pipename=" + std::to_string(n)}));
        c.SetPeerPid(engine.Pid());
        PipeChannel::ConnectState state;
        do
            state = c.WaitConnected(50ms);
        while (state == PipeChannel::ConnectState::Waiting && timer.elapsed() < 10000);
        QCOMPARE(state, PipeChannel::ConnectState::Failed);
        QVERIFY(c.ConnectFailed());
        QVERIFY2(timer.elapsed() >= 390, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(c.ConnectedCount(), mode == "one" ? 1 : 0);
        engine.Kill();
    }

    // A process of the same user that connects first is cut off; the engine then connects
    // and only its frames are delivered.
    void foreignPeerRefused()
    {
        QTemporaryDir tmp;
        const QString squatLog = tmp.filePath("squat.log");
        Collector got;
        PipeChannel c;
        const int n = c.Open(got.Handler());
        QVERIFY(n > 0);
        const std::string pipe = "-pipename=" + std::to_string(n);

        platform::Process squatter;
        QVERIFY(squatter.Start(TestEnginePath(), {"-mode=squat", "-log=" + squatLog.toStdString(), pipe}));
        QTRY_VERIFY_WITH_TIMEOUT(ReadLog(squatLog).contains("squat connected"), 5000);

        platform::Process engine;
        QVERIFY(engine.Start(TestEnginePath(), {"-mode=normal", pipe}));
        c.SetPeerPid(engine.Pid());
        QCOMPARE(c.WaitConnected(5000ms), PipeChannel::ConnectState::Connected);
        QVERIFY(squatter.WaitFor(15000ms));
        QVERIFY(ReadLog(squatLog).contains("squat cut"));

        QTRY_VERIFY_WITH_TIMEOUT(got.Count() >= 1, 2000);
        QTest::qWait(100);
        std::lock_guard lock(got.mutex);
        QCOMPARE(got.frames.size(), std::size_t(1));
        QCOMPARE(got.frames[0].first, 5); // the engine's ready, not the squatter's failure
        engine.Kill();
    }

    // Close while nothing ever connected, and Close twice, return and leave nothing behind.
    void closeIsIdempotent()
    {
        const int fds = CountEntries("/proc/self/fd");
        const int threads = CountEntries("/proc/self/task");
        {
            PipeChannel c;
            QVERIFY(c.Open([](const FrameView &) {}) > 0);
            c.Close();
            c.Close();
            QVERIFY(c.Open([](const FrameView &) {}) > 0);
        }
        QCOMPARE(CountEntries("/proc/self/fd"), fds);
        QCOMPARE(CountEntries("/proc/self/task"), threads);
    }
};

QTEST_GUILESS_MAIN(TstPipeChannel)
#include "tst_pipe_channel.moc"
