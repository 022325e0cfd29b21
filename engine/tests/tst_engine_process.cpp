#include "engine/engine_process.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

using namespace engine;
using namespace std::chrono_literals;

namespace {

// Records every notice (the link's own apart); acknowledges the finishing notice at once
// unless told to hold it, as a window thread busy elsewhere would.
class RecordingSink : public EngineSink {
public:
    bool holdFinishing = false;
    std::atomic<bool> connected{false}, connectFailed{false}, ended{false};

    void EngineConnected() override { connected = true; }
    void EngineConnectFailed() override { connectFailed = true; }
    void EngineEnded() override { ended = true; }
    void EngineFailed(int code) override { Add("failed " + QString::number(code)); }
    void EngineFinishing(FinishingAck ack) override
    {
        Add("finishing");
        if (!holdFinishing)
            ack.Done();
    }
    void EngineFinished(int result) override { Add("finished " + QString::number(result)); }
    void EngineCreateFailed() override { Add("createfailed"); }

    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_events.clear();
        holdFinishing = false;
    }
    QStringList Events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    void Add(const QString &e)
    {
        std::lock_guard lock(m_mutex);
        m_events << e;
    }
    std::mutex m_mutex;
    QStringList m_events;
};

bool NoChildLeft() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

// The most memory this process has held so far, in kB.
long PeakKilobytes()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

Lines Numbered(int from, int to)
{
    Lines l;
    for (int i = from; i <= to; ++i)
        l.push_back("line " + std::to_string(i));
    return l;
}

Lines operator+(Lines l, const std::string &last)
{
    l.push_back(last);
    return l;
}

} // namespace

class TstEngineProcess : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    RecordingSink m_sink;
    StatusCopy m_status;
    EngineProcess m_engine;

    std::string Args(const QString &mode, const QString &log = {})
    {
        return ("-mode=" + mode + (log.isEmpty() ? "" : " \"-log=" + log + "\"")).toStdString();
    }

    void Reset()
    {
        StopEngine();
        m_sink.Clear();
        m_status.Clear();
    }

    // Launches and waits until the engine has connected.
    bool Launch(const std::string &args)
    {
        m_sink.connected = m_sink.connectFailed = m_sink.ended = false;
        return m_engine.Launch(ControlRecord{}, args)
               && QTest::qWaitFor([&] { return m_sink.connected || m_sink.connectFailed || m_sink.ended; }, 10000)
               && m_sink.connected;
    }

    // Stops the engine as a run does: the stop message, a kill when it has not ended within
    // grace (an engine that answers is waited for however slow the machine, so its last words
    // are never lost to the kill), its end, then the cleanup.
    void StopEngine(std::chrono::milliseconds grace = 60s)
    {
        m_engine.Stop();
        if (m_engine.Pid() > 0 && !QTest::qWaitFor([&] { return m_sink.ended.load(); }, int(grace.count())))
            m_engine.Kill();
        QVERIFY(m_engine.Pid() <= 0 || QTest::qWaitFor([&] { return m_sink.ended.load(); }, 10000));
        m_engine.IsAlive();
        m_engine.Cleanup();
    }

private slots:
    void initTestCase()
    {
        m_engine.Attach(&m_sink, &m_status);
        m_engine.SetEnginePath(TestEnginePath());
    }
    void init()
    {
        m_engine.SetTimings(EngineTimings{});
        Reset();
    }

    // What the engine reports, however its writes are cut or packed, and whatever junk lies
    // between the frames.
    void reports_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("percent");
        const QStringList done{"finishing", "finished 7"};
        QTest::newRow("normal") << "normal" << done << 60;
        QTest::newRow("three writes per frame") << "split" << done << 60;
        QTest::newRow("all in one write") << "packed" << done << 60;
        QTest::newRow("unlisted types, wrong lengths") << "junk" << done << 60;
        QTest::newRow("failure without code") << "failempty" << QStringList{"failed 65534"} << 25;
        QTest::newRow("failure code, low 16 bits") << "failcode" << QStringList{"failed 9029"} << 25;
        QTest::newRow("dies mid-file") << "die" << QStringList{} << 25;
    }
    void reports()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, events);
        QFETCH(int, percent);
        QVERIFY(Launch(Args(mode)));
        QTRY_VERIFY_WITH_TIMEOUT(m_engine.IsReady(), 5000);
        QVERIFY(m_engine.Start());
        QTRY_COMPARE_WITH_TIMEOUT(m_status.Load().Percent, percent, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_sink.Events().size(), events.size(), 5000);
        QTest::qWait(150); // nothing more may follow
        QCOMPARE(m_sink.Events(), events);
        QCOMPARE(m_status.Load().Percent, percent);
        if (mode == "die")
            QTRY_VERIFY_WITH_TIMEOUT(!m_engine.IsAlive(), 5000);
    }

    // What the engine wrote to its standard error, kept after it has ended; its last words
    // need no newline.
    void diagnostics_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<Lines>("lines");
        QTest::newRow("a few lines") << "-mode=normal -say=3" << Numbered(1, 3) + "stopping";
        QTest::newRow("only the last 20") << "-mode=normal -say=30" << Numbered(12, 30) + "stopping";
        QTest::newRow("dies mid-file") << "-mode=die -say=2" << Numbered(1, 2);
        QTest::newRow("says nothing") << "-mode=normal" << Lines{};
    }
    void diagnostics()
    {
        QFETCH(QString, args);
        QFETCH(Lines, lines);
        QVERIFY(Launch(args.toStdString()));
        QCOMPARE(m_engine.ArgumentText(), args.toStdString());
        QVERIFY(m_engine.Start());
        QTRY_VERIFY_WITH_TIMEOUT(!m_sink.Events().isEmpty() || !m_engine.IsAlive(), 30000);
        StopEngine();
        QCOMPARE(m_engine.LastDiagnostics(), lines);
        QCOMPARE(m_engine.ArgumentText(), args.toStdString());
    }

    // The next launch starts afresh, even one that fails.
    void diagnosticsForgottenByNextLaunch()
    {
        QVERIFY(Launch("-mode=normal -say=2"));
        StopEngine();
        QCOMPARE(m_engine.LastDiagnostics().size(), std::size_t(3));
        EngineProcess missing;
        missing.Attach(&m_sink, &m_status);
        missing.SetEnginePath(m_tmp.filePath("no such engine").toStdString());
        QVERIFY(!missing.Launch(ControlRecord{}, "-say=2"));
        QCOMPARE(missing.ArgumentText(), std::string("-say=2"));
        QVERIFY(missing.LastDiagnostics().empty());
        QVERIFY(Launch("-mode=normal"));
        StopEngine();
        QVERIFY(m_engine.LastDiagnostics().empty());
    }

    // An engine that floods its standard error (a 32 MiB line, then 32 MiB of short ones)
    // before it finishes is read as fast as it writes: it is never blocked, and what is
    // kept stays small.
    void floodNeitherBlocksNorGrows()
    {
        const long before = PeakKilobytes();
        QVERIFY(before > 0);
        QVERIFY(Launch("-mode=normal -flood=64"));
        QVERIFY(m_engine.Start());
        QTRY_COMPARE_WITH_TIMEOUT(m_sink.Events(), (QStringList{"finishing", "finished 7"}), 120000);
        StopEngine();
        const Lines lines = m_engine.LastDiagnostics();
        QCOMPARE(lines.size(), DiagnosticsTail::kKeptLines);
        QCOMPARE(lines[18], std::string("after flood"));
        QCOMPARE(lines[19], std::string("stopping"));
        for (const auto &line : lines)
            QVERIFY(line.size() <= DiagnosticsTail::kLineBytes + 3);
        const long grown = PeakKilobytes() - before;
#ifndef __SANITIZE_ADDRESS__
        QVERIFY2(grown < 16 * 1024, qPrintable(QString::number(grown) + " kB"));
#else
        // AddressSanitizer holds freed memory in quarantine: the peak says nothing there.
        Q_UNUSED(grown);
#endif
    }

    // The data blocks: a full-size type 4 is kept, a short one is not; type 7 keeps its
    // header but no data when the header's length disagrees; type 11 keeps header and data.
    void storedBlocks()
    {
        QVERIFY(Launch(Args("junk")));
        QVERIFY(m_engine.Start());
        QTRY_COMPARE_WITH_TIMEOUT(m_sink.Events().size(), 2, 5000);
        const auto b4 = m_engine.Messages().Block4();
        QVERIFY(b4);
        QCOMPARE(b4->size(), std::size_t(1864));
        QCOMPARE((*b4)[0], std::uint8_t(0x44));
        const auto b7 = m_engine.Messages().Block7();
        QVERIFY(b7);
        QCOMPARE(b7->header.size(), std::size_t(48));
        QVERIFY(b7->data.empty());
        const auto b11 = m_engine.Messages().Block11();
        QVERIFY(b11);
        QCOMPARE(b11->header.size(), std::size_t(16));
        QCOMPARE(b11->data.size(), std::size_t(40));
        StopEngine();
        QVERIFY(!m_engine.Messages().Block4());
        QVERIFY(!m_engine.Messages().Block7());
    }

    // Control after connecting, begin once however often Start is called, pause and resume,
    // stop at the end; and the argument text arrives split as a command line.
    void commandsReachEngine()
    {
        const QString log = m_tmp.filePath("commands log.txt");
        QVERIFY(Launch(Args("ignorestop", log)));
        QVERIFY(m_engine.Start());
        QVERIFY(!m_engine.Start());
        QVERIFY(m_engine.IsStarted());
        m_engine.Control().Paused = 1;
        QVERIFY(m_engine.SendControl());
        m_engine.Control().Paused = 0;
        QVERIFY(m_engine.SendControl());
        const QStringList want{"2 8 paused=0", "8 0", "2 8 paused=1", "2 8 paused=0"};
        QTRY_COMPARE_WITH_TIMEOUT(ReadLog(log).mid(1), want, 5000);
        QCOMPARE(ReadLog(log).value(0),
                 "args -mode=ignorestop|-log=" + log + "|-wchar|-pipename=" + QString::number(m_engine.PipeNumber()));

        // It ignores the stop message: killed after the grace.
        StopEngine(300ms);
        QVERIFY(ReadLog(log).contains("1 0"));
        QVERIFY(!m_engine.IsAlive());
        QVERIFY(!m_engine.IsStarted());
        QVERIFY(NoChildLeft());
    }

    void withoutEngine()
    {
        EngineProcess idle;
        QVERIFY(!idle.SendControl());
        QVERIFY(!idle.Start());
        QVERIFY(!idle.IsAlive());
        QVERIFY(!idle.Kill());
        idle.Stop();
        idle.Stop();
    }

    // The engine connects one socket only: the connection fails at the (shortened) limit and
    // leaves the engine running; after it is gone, Cleanup closes the channel.
    void connectLimit()
    {
        EngineTimings t;
        t.connectLimit = 300ms;
        m_engine.SetTimings(t);
        const auto dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + "/framepress/";
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!Launch(Args("one")));
        QTRY_VERIFY(m_sink.connectFailed);
        QVERIFY(timer.elapsed() >= 290);
        QVERIFY(m_engine.IsAlive());
        QVERIFY(!m_engine.Start());
        const int n = m_engine.PipeNumber();
        QVERIFY(QFile::exists(dir + "KX_Brivo_Pipe_Rcv" + QString::number(n)));
        QVERIFY(m_engine.Kill());
        QTRY_VERIFY(m_sink.ended && !m_engine.IsAlive());
        QVERIFY(!m_engine.SendControl());
        m_engine.Cleanup();
        QVERIFY(!QFile::exists(dir + "KX_Brivo_Pipe_Rcv" + QString::number(n)));
        QVERIFY(NoChildLeft());
        m_engine.SetTimings(EngineTimings{});
    }

    // An engine that cannot start fails the launch; one that ends before it connects is heard of.
    void engineMissing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("no such program") << m_tmp.filePath("no such engine");
        QTest::newRow("ends before it connects") << "/bin/false";
    }
    void engineMissing()
    {
        QFETCH(QString, path);
        EngineProcess e;
        RecordingSink sink;
        StatusCopy status;
        e.Attach(&sink, &status);
        e.SetEnginePath(path.toStdString());
        QCOMPARE(e.Launch(ControlRecord{}, "-mode=normal"), path == "/bin/false");
        QTRY_COMPARE(sink.Events(), path == "/bin/false" ? QStringList{"createfailed"} : QStringList{});
        QVERIFY(!e.IsAlive());
        e.Cleanup();
        QVERIFY(!sink.ended && !sink.connected);
        QVERIFY(NoChildLeft());
    }

    // A second launch kills the first engine before the new channel opens.
    void launchKillsEarlier()
    {
        QVERIFY(Launch(Args("ignorestop")));
        const pid_t first = m_engine.Pid();
        const int n = m_engine.PipeNumber();
        QVERIFY(Launch(Args("normal")));
        QVERIFY(m_engine.Pid() != first);
        QCOMPARE(m_engine.PipeNumber(), n + 1);
        QCOMPARE(::kill(first, 0), -1); // killed and reaped
        QVERIFY(!m_engine.IsStarted());
        QVERIFY(m_engine.Start());
        QTRY_COMPARE_WITH_TIMEOUT(m_sink.Events().size(), 2, 5000);
    }

    // A foreign process that grabs the sockets first cannot pass for the engine.
    void foreignProcessFirst()
    {
        QVERIFY(Launch(Args("normal")));
        const int next = m_engine.PipeNumber() + 1;
        StopEngine();
        const QString log = m_tmp.filePath("squat.log");
        platform::Process squatter;
        QVERIFY(squatter.Start(TestEnginePath(),
                               {"-mode=squat", "-log=" + log.toStdString(), "-pipename=" + std::to_string(next)}));
        QVERIFY(Launch(Args("normal")));
        QCOMPARE(m_engine.PipeNumber(), next);
        QVERIFY(m_engine.Start());
        QTRY_COMPARE_WITH_TIMEOUT(m_sink.Events(), (QStringList{"finishing", "finished 7"}), 5000);
        QVERIFY(squatter.WaitFor(15000ms));
        QVERIFY(!ReadLog(log).contains("squat not cut"));
    }

    // A cancel racing a finish: the window thread stops the engine while the reader waits
    // for the finishing notice to be handled. Stop releases the reader.
    void finishRacingStop()
    {
        m_sink.holdFinishing = true;
        QVERIFY(Launch(Args("normal")));
        QVERIFY(m_engine.Start());
        QTRY_COMPARE_WITH_TIMEOUT(m_sink.Events(), QStringList{"finishing"}, 5000);
        m_engine.Stop();
        QTRY_COMPARE(m_sink.Events(), (QStringList{"finishing", "finished 7"}));
    }

    // The status copy is read while the reader writes it: a sample is always one report.
    void statusNeverTorn()
    {
        StatusCopy copy;
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            for (int i = 0; !stop; ++i) {
                EngineStatus s;
                s.Percent = i;
                s.Position = i;
                s.Result = i;
                copy.Store(s);
            }
        });
        bool consistent = true;
        for (int i = 0; i < 200000 && consistent; ++i) {
            const auto s = copy.Load();
            consistent = s.Position == s.Percent && s.Result == s.Percent;
        }
        stop = true;
        writer.join();
        QVERIFY(consistent);
    }

    // Launch and stop again and again: no thread, descriptor or child is left over.
    void noLeaks()
    {
        // One round first, so lazily created things exist before counting.
        QVERIFY(Launch(Args("normal")));
        StopEngine();
        const int threads = CountEntries("/proc/self/task");
        const int fds = CountEntries("/proc/self/fd");
        for (int i = 0; i < 200; ++i) {
            QVERIFY(Launch(Args("normal")));
            QVERIFY(m_engine.Start());
            StopEngine();
        }
        QCOMPARE(CountEntries("/proc/self/task"), threads);
        QCOMPARE(CountEntries("/proc/self/fd"), fds);
        QVERIFY(NoChildLeft());
    }
};

QTEST_GUILESS_MAIN(TstEngineProcess)
#include "tst_engine_process.moc"
