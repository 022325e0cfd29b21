// The built engine's threads, read from /proc while it converts: on a quiet machine the
// threads that prepare pictures yield to the video encoder; with the cores busy elsewhere,
// or without stage threads, every thread keeps its priority. The engine is told the machine's
// load (FP_TEST_LOAD), so whatever else runs here changes nothing.

#include "engine/failure_codes.h"
#include "media_tools.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <thread>

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

// Reads the engine's progress until it has converted `seconds` of the source, so that every
// stage has done a share of work; false if it ended first.
bool ConvertedAtLeast(QProcess &p, QByteArray &err, double seconds)
{
    static const QRegularExpression position("Pos:\\s*([0-9.]+)s");
    for (;;) {
        double reached = -1;
        for (auto it = position.globalMatch(QString::fromLatin1(err)); it.hasNext();)
            reached = it.next().captured(1).toDouble();
        if (reached >= seconds)
            return true;
        if (p.state() != QProcess::Running)
            return false;
        p.waitForReadyRead(1000);
        err += p.readAllStandardError();
    }
}

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
    QTest::addColumn<QString>("othersLoad"); // processors kept busy by other programs
    QTest::addColumn<bool>("yields");
    const QString allCores = QString::number(std::max(1u, std::thread::hardware_concurrency()));
    QTest::newRow("stage threads, quiet machine") << kHd + kThreads << "0" << true;
    QTest::newRow("stage threads, busy machine") << kHd + kThreads << allCores << false;
    QTest::newRow("no stage threads") << kHd << "0" << false;
}

void TestMencoderPriority::yieldsOnlyWhereItPays()
{
    QFETCH(QString, options);
    QFETCH(QString, othersLoad);
    QFETCH(bool, yields);

    const int base = ::getpriority(PRIO_PROCESS, 0);
    const QString out = m_dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_') + ".mp4");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FP_TEST_LOAD", othersLoad);
    p.setProcessEnvironment(env);
    QByteArray err;
    StartConverting(p, QStringList{m_dir.filePath("busy.mkv")} + Words(options) + QStringList{"-o", out}, err);
    // The engine decides before its first packet; a few seconds of the source in, every
    // stage has done its share.
    QVERIFY2(ConvertedAtLeast(p, err, 4.0), err.constData());
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
