// The built engine's threads, read from /proc while it converts: on a quiet machine the
// threads that prepare pictures yield to the video encoder; with the cores busy elsewhere,
// or without stage threads, every thread keeps its priority.

#include "engine/failure_codes.h"
#include "media_tools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace testing;

namespace {

const QString kHd = Base(true, "960:720") + " " + kX264 + " " + kFaac; // for the 4:3 clip
const QString kThreads = " -lavdopts threads=2 -avthread -videofilterthread";

struct ThreadLoad {
    int nice = 0;
    long long ticks = 0; // processor time used so far
};

QList<ThreadLoad> Threads(qint64 pid)
{
    QList<ThreadLoad> threads;
    const QString tasks = QString("/proc/%1/task").arg(pid);
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + "/" + tid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // The fields after the parenthesised name, from the state (field 3) on.
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 16)
            threads.append({f[16].toInt(), f[11].toLongLong() + f[12].toLongLong()});
    }
    return threads;
}

// Keeps every core busy for as long as it lives.
class Hogs {
public:
    Hogs()
    {
        for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
            m_threads.emplace_back([this] {
                while (!m_stop)
                    ;
            });
    }
    ~Hogs()
    {
        m_stop = true;
        for (std::thread &t : m_threads)
            t.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

} // namespace

class TestMencoderPriority : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void yieldsOnlyWhereItPays_data();
    void yieldsOnlyWhereItPays();

private:
    QTemporaryDir m_dir;
};

void TestMencoderPriority::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(Engine()), "mencoder is not built beside the tests");
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=30:duration=20,noise=alls=8:allf=t", "-f", "lavfi",
                    "-i", "sine=duration=20", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                    m_dir.filePath("busy.mkv")}));
}

void TestMencoderPriority::yieldsOnlyWhereItPays_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("busyMachine");
    QTest::addColumn<bool>("yields");
    QTest::newRow("stage threads, quiet machine") << kHd + kThreads << false << true;
    QTest::newRow("stage threads, busy machine") << kHd + kThreads << true << false;
    QTest::newRow("no stage threads") << kHd << false << false;
}

void TestMencoderPriority::yieldsOnlyWhereItPays()
{
    QFETCH(QString, options);
    QFETCH(bool, busyMachine);
    QFETCH(bool, yields);
    std::unique_ptr<Hogs> hogs;
    if (busyMachine)
        hogs = std::make_unique<Hogs>();

    const int base = ::getpriority(PRIO_PROCESS, 0);
    const QString out = m_dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_') + ".mp4");
    QProcess p;
    QByteArray err;
    StartConverting(p, QStringList{m_dir.filePath("busy.mkv")} + Words(options) + QStringList{"-o", out}, err);
    QTest::qWait(1500); // every stage at work
    QVERIFY2(p.state() == QProcess::Running, err.constData());
    const QList<ThreadLoad> threads = Threads(p.processId());
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), int(engine::FailureCode::Stopped));

    long long first = 0, yielding = 0;
    for (const ThreadLoad &t : threads) {
        QVERIFY2(t.nice == base || (yields && t.nice > base), qPrintable(QString::number(t.nice)));
        (t.nice == base ? first : yielding) += t.ticks;
    }
    if (yields) {
        QVERIFY2(yielding > 0, "no thread yields to the encoder");
        // The encoder does most of the work, and it keeps its priority.
        QVERIFY2(first > yielding, qPrintable(QString("encoder side %1 ticks, the rest %2").arg(first).arg(yielding)));
    }
}

QTEST_GUILESS_MAIN(TestMencoderPriority)
#include "tst_mencoder_priority.moc"
