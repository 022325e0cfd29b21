// The engine linked to an application: this test plays the application's part on real
// Unix-domain sockets in the private runtime folder, frame by frame.

#include "encoder/arguments.h"
#include "engine/failure_codes.h"
#include "engine/frame_reader.h"
#include "engine/protocol.h"
#include "media_tools.h"
#include "platform/runtime_dir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <deque>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using engine::FailureCode;
using engine::MsgType;
using namespace testing;

Q_DECLARE_METATYPE(FailureCode)

namespace {

const QString kHd = "-mc 0 -ofps 30 -vf scale=1280:720 -vf-add expand=1280:720 -vf-add harddup -vf-add crop=1280:720 "
                    "-af volume=0:1 -srate 44100 -ovc x264 -x264encopts bitrate=5000:global_header:level_idc=30:subq=1 "
                    "-oac faac -faacopts mpeg=4:object=2:raw:br=128 -of lavf -lavfopts format=mp4 "
                    "-avthread -videofilterthread";

QString Wide(const QString &path) { return QString::fromStdString(mencoder::EncodeWideName(path.toStdString())); }

struct Received {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
    qint64 atMs = 0;
};

// The application's end of one pipe pair: listens, accepts the engine, sends and reads frames.
class AppSide {
public:
    ~AppSide() { Close(); }

    bool Listen(int n)
    {
        const auto dir = platform::RuntimeDir();
        if (!dir)
            return false;
        m_sendListen = ListenOn(*dir + "/" + engine::SendPipeName(n));
        m_rcvListen = ListenOn(*dir + "/" + engine::RcvPipeName(n));
        m_clock.start();
        return m_sendListen >= 0 && m_rcvListen >= 0;
    }

    bool Accept(int timeoutMs)
    {
        m_send = AcceptOn(m_sendListen, timeoutMs);
        m_rcv = AcceptOn(m_rcvListen, timeoutMs);
        return m_send >= 0 && m_rcv >= 0;
    }

    bool Send(MsgType type, const void *payload = nullptr, std::uint32_t length = 0)
    {
        const auto header = engine::FrameHeader(static_cast<std::uint8_t>(type), length);
        return ::send(m_send, header.data(), header.size(), MSG_NOSIGNAL) == ssize_t(header.size())
               && (length == 0 || ::send(m_send, payload, length, MSG_NOSIGNAL) == ssize_t(length));
    }
    bool SendControl(bool paused)
    {
        const auto bytes = engine::ControlRecord{0, paused ? 1 : 0}.Encode();
        return Send(MsgType::Control, bytes.data(), std::uint32_t(bytes.size()));
    }

    // The next frame from the engine; nullopt on time-out or when the engine closed its end.
    std::optional<Received> Next(int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (m_frames.empty()) {
            const int left = timeoutMs - int(t.elapsed());
            if (left <= 0 || m_closed)
                return std::nullopt;
            pollfd pfd{m_rcv, POLLIN, 0};
            if (::poll(&pfd, 1, left) <= 0)
                continue;
            std::uint8_t buf[4096];
            const ssize_t r = ::recv(m_rcv, buf, sizeof(buf), 0);
            if (r <= 0) {
                m_closed = true;
                continue;
            }
            m_reader.Feed(buf, std::size_t(r), [this](const engine::FrameView &f) {
                m_frames.push_back(
                    {f.type, std::vector<std::uint8_t>(f.payload, f.payload + f.length), m_clock.elapsed()});
            });
        }
        Received f = std::move(m_frames.front());
        m_frames.pop_front();
        return f;
    }

    void Close()
    {
        for (int *fd : {&m_send, &m_rcv, &m_sendListen, &m_rcvListen}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

private:
    static int ListenOn(const std::string &path)
    {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
        ::unlink(path.c_str());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 || ::listen(fd, 4) != 0) {
            if (fd >= 0)
                ::close(fd);
            return -1;
        }
        return fd;
    }
    static int AcceptOn(int listenFd, int timeoutMs)
    {
        pollfd pfd{listenFd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0)
            return -1;
        return ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    }

    int m_sendListen = -1, m_rcvListen = -1, m_send = -1, m_rcv = -1;
    bool m_closed = false;
    engine::FrameReader m_reader;
    std::deque<Received> m_frames;
    QElapsedTimer m_clock;
};

// Processor time used so far by a process, in clock ticks.
long CpuTicks(qint64 pid)
{
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLong() + fields[12].toLong() : -1; // utime, stime
}

engine::EngineStatus Status(const Received &f) { return engine::EngineStatus::Decode(f.payload.data()); }

} // namespace

class TestMencoderPipe : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void finishAfterProgress();
    void pauseResumeStop();
    void failureReports_data();
    void failureReports();
    void stopBeforeBegin();
    void applicationGoesAway();
    void squattedRuntimeFolder();

private:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    // Starts the engine as the application does; the app side is listening and accepted.
    bool Launch(QProcess &p, AppSide &app, int pipe, const QString &input, const QString &options,
                const QString &output)
    {
        if (!app.Listen(pipe))
            return false;
        QStringList args{Wide(input)};
        args += options.split(' ', Qt::SkipEmptyParts);
        args += QStringList{"-o", Wide(output), "-wchar", QString("-pipename=%1").arg(pipe)};
        p.start(Engine(), args);
        return p.waitForStarted() && app.Accept(30000);
    }

    QTemporaryDir m_dir;
};

void TestMencoderPipe::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=2", "-f", "lavfi", "-i",
                    "sine=duration=2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", Path("short.mkv")}));
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=30:duration=30", "-f", "lavfi", "-i",
                    "sine=duration=30", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", Path("long.mkv")}));
}

// ready, control, begin, progress, exactly one finish, and the file complete when it comes.
void TestMencoderPipe::finishAfterProgress()
{
    QProcess p;
    AppSide app;
    const QString out = Path("finished.mp4");
    QVERIFY(Launch(p, app, 11, Path("short.mkv"), kHd, out));
    const auto ready = app.Next(10000);
    QVERIFY(ready && ready->type == std::uint8_t(MsgType::Ready));
    QVERIFY(app.SendControl(false));
    QVERIFY(app.Send(MsgType::Begin));

    int progress = 0, finished = 0, failed = 0;
    double lastPosition = -1;
    QJsonObject probeAtFinish;
    while (const auto f = app.Next(60000)) {
        if (f->type == std::uint8_t(MsgType::Progress)) {
            QCOMPARE(f->payload.size(), engine::kStatusSize);
            const auto s = Status(*f);
            QVERIFY(s.Percent >= 0 && s.Percent <= 100);
            QVERIFY(s.Position >= lastPosition);
            lastPosition = s.Position;
            ++progress;
        } else if (f->type == std::uint8_t(MsgType::Finished)) {
            QCOMPARE(f->payload.size(), engine::kStatusSize);
            QCOMPARE(Status(*f).Result, 0);
            QCOMPARE(Status(*f).Percent, 100);
            ++finished;
            probeAtFinish = Probe(out); // the file must be whole the moment finish arrives
        } else if (f->type == std::uint8_t(MsgType::Failed)) {
            ++failed;
        }
    }
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(progress >= 1);
    QCOMPARE(finished, 1);
    QCOMPARE(failed, 0);
    QCOMPARE(Stream(probeAtFinish, "video")["codec_name"].toString(), QString("h264"));
    QVERIFY(qAbs(Number(probeAtFinish["format"].toObject(), "duration") - 2.0) < 0.1);
}

// Progress twice a second; paused uses no processor time and holds the position; resumed
// goes on; stop ends at once and leaves no file.
void TestMencoderPipe::pauseResumeStop()
{
    QProcess p;
    AppSide app;
    const QString out = Path("stopped.mp4");
    const QStringList before = Listing(m_dir.path());
    QVERIFY(Launch(p, app, 12, Path("long.mkv"), kHd, out));
    QVERIFY(app.Next(10000).has_value()); // ready
    QVERIFY(app.SendControl(false));
    QVERIFY(app.Send(MsgType::Begin));

    std::vector<Received> reports;
    const auto collectFor = [&](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            if (auto f = app.Next(ms - int(t.elapsed())))
                reports.push_back(*f);
    };
    collectFor(1500);
    QVERIFY(reports.size() >= 3);
    for (std::size_t i = 1; i < reports.size(); ++i) {
        QCOMPARE(reports[i].type, std::uint8_t(MsgType::Progress));
        QVERIFY2(reports[i].atMs - reports[i - 1].atMs <= 500, "progress less often than twice a second");
    }

    QVERIFY(app.SendControl(true));
    // Frames in flight drain: the position holds over three reports in a row.
    QElapsedTimer draining;
    draining.start();
    int held = 0;
    while (held < 3 && draining.elapsed() < 30000)
        if (const auto f = app.Next(1000); f && f->type == std::uint8_t(MsgType::Progress)) {
            held = !reports.empty() && Status(*f).Position == Status(reports.back()).Position ? held + 1 : 0;
            reports.push_back(*f);
        }
    QVERIFY2(held >= 3, "the position still moves while paused");
    const long cpuBefore = CpuTicks(p.processId());
    const double positionBefore = Status(reports.back()).Position;
    reports.clear();
    collectFor(1500);
    const long cpuPaused = CpuTicks(p.processId()) - cpuBefore;
    QVERIFY(reports.size() >= 2); // still reporting while paused
    QCOMPARE(Status(reports.back()).Position, positionBefore);
    QVERIFY2(cpuPaused <= sysconf(_SC_CLK_TCK) / 10, qPrintable(QString("%1 ticks while paused").arg(cpuPaused)));

    QVERIFY(app.SendControl(false));
    reports.clear();
    collectFor(1500);
    QVERIFY(!reports.empty());
    QVERIFY(Status(reports.back()).Position > positionBefore);
    QVERIFY(Status(reports.back()).Percent < 100);

    QElapsedTimer stopping;
    stopping.start();
    QVERIFY(app.Send(MsgType::Stop));
    QVERIFY(p.waitForFinished(5000));
    QVERIFY2(stopping.elapsed() < 1500, qPrintable(QString("%1 ms to stop").arg(stopping.elapsed())));
    QCOMPARE(p.exitCode(), int(FailureCode::Stopped));
    while (const auto f = app.Next(200)) // a stopped engine owes no report
        QCOMPARE(f->type, std::uint8_t(MsgType::Progress));
    QVERIFY(!QFile::exists(out));
    QCOMPARE(Listing(m_dir.path()), before);
}

void TestMencoderPipe::failureReports_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("output");
    QTest::addColumn<FailureCode>("code");
    QTest::newRow("zero-byte input") << "empty.mkv" << kHd << "a.mp4" << FailureCode::InputUnreadable;
    QTest::newRow("unknown option") << "short.mkv"
                                    << "-sws 9 " + kHd << "b.mp4" << FailureCode::UnknownOption;
    QTest::newRow("existing output") << "short.mkv" << kHd << "short.mkv" << FailureCode::OutputExists;
}

void TestMencoderPipe::failureReports()
{
    QFETCH(QString, input);
    QFETCH(QString, options);
    QFETCH(QString, output);
    QFETCH(FailureCode, code);
    QFile(Path("empty.mkv")).open(QIODevice::WriteOnly);
    const qint64 outSize = QFileInfo(Path(output)).size();

    QProcess p;
    AppSide app;
    QVERIFY(Launch(p, app, 13 + QTest::currentDataTag()[0], Path(input), options, Path(output)));
    const auto ready = app.Next(10000);
    QVERIFY(ready && ready->type == std::uint8_t(MsgType::Ready));
    QVERIFY(app.SendControl(false));
    QVERIFY(app.Send(MsgType::Begin));
    int failures = 0, finishes = 0;
    while (const auto f = app.Next(20000)) {
        if (f->type == std::uint8_t(MsgType::Failed)) {
            ++failures;
            QCOMPARE(f->payload.size(), std::size_t(4));
            QCOMPARE(engine::GetU32(f->payload.data()), std::uint32_t(code));
        }
        finishes += f->type == std::uint8_t(MsgType::Finished);
    }
    QCOMPARE(failures, 1);
    QCOMPARE(finishes, 0);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), int(code));
    QCOMPARE(QFileInfo(Path(output)).size(), outSize); // untouched, or still absent
}

void TestMencoderPipe::stopBeforeBegin()
{
    QProcess p;
    AppSide app;
    QVERIFY(Launch(p, app, 20, Path("short.mkv"), kHd, Path("never.mp4")));
    QVERIFY(app.Next(10000).has_value());
    QVERIFY(app.SendControl(false));
    QVERIFY(app.Send(MsgType::Stop));
    QVERIFY(p.waitForFinished(3000));
    QVERIFY(!app.Next(500).has_value());
    QVERIFY(!QFile::exists(Path("never.mp4")));
}

// The application dies mid-file: the engine notices the closed sockets, stops and cleans up.
void TestMencoderPipe::applicationGoesAway()
{
    QProcess p;
    AppSide app;
    const QString out = Path("orphan.mp4");
    QVERIFY(Launch(p, app, 21, Path("long.mkv"), kHd, out));
    QVERIFY(app.Next(10000).has_value());
    QVERIFY(app.SendControl(false));
    QVERIFY(app.Send(MsgType::Begin));
    QVERIFY(app.Next(5000).has_value());
    app.Close();
    QVERIFY(p.waitForFinished(3000));
    QVERIFY(!QFile::exists(out));
}

// Another user who made our runtime folder's name first (XDG_RUNTIME_DIR unset puts it in
// /tmp) must not stop conversions: both ends use a private folder of their own instead, and
// the other user's folder is left as it was.
void TestMencoderPipe::squattedRuntimeFolder()
{
    if (::getuid() != 0)
        QSKIP("needs root to make a folder that belongs to another user");
    const QString user = "fpsquatter";
    if (Run("id", {"-u", user}).exitCode != 0)
        QCOMPARE(Run("useradd", {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", user}).exitCode, 0);
    const uid_t theirs = Run("id", {"-u", user}).out.trimmed().toUInt();
    QVERIFY(theirs != 0);

    // Short, as /tmp is: socket paths have room for 107 bytes only.
    QTemporaryDir xdg("/tmp/fp-XXXXXX");
    const QString taken = xdg.filePath("framepress");
    QVERIFY(QDir().mkdir(taken));
    QCOMPARE(::chown(taken.toLocal8Bit().constData(), theirs, theirs), 0);
    const QByteArray oldXdg = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
    qunsetenv("FRAMEPRESS_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", oldXdg);
        qunsetenv("FRAMEPRESS_RUNTIME_DIR");
    });

    QProcess p;
    AppSide app;
    const QString out = Path("beside-squatter.mp4");
    QVERIFY(Launch(p, app, 17, Path("short.mkv"), kHd, out));
    QVERIFY(app.Next(10000).has_value()); // ready
    QVERIFY(app.SendControl(false));
    QVERIFY(app.Send(MsgType::Begin));
    int finished = 0;
    while (const auto f = app.Next(60000))
        finished += f->type == std::uint8_t(MsgType::Finished);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(finished, 1);
    QVERIFY(QFile::exists(out));
    QVERIFY(QDir(taken).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QCOMPARE(QFileInfo(taken).ownerId(), uint(theirs));
}

QTEST_GUILESS_MAIN(TestMencoderPipe)
#include "tst_mencoder_pipe.moc"
