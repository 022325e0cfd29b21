#include "platform/runtime_dir.h"
#include "platform/single_instance.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using platform::SingleInstance;

namespace {

// A request as a later start frames it: tag, the body's length, the body; lengths little-endian.
QByteArray U32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}
QByteArray Field(const QByteArray &bytes) { return U32(quint32(bytes.size())) + bytes; }
QByteArray Frame(const QByteArray &body, const char *tag = "FPS1") { return tag + U32(quint32(body.size())) + body; }

} // namespace

class TstSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondHolderIsRefusedUntilRelease()
    {
        SingleInstance first("ZArovivIvirozi2");
        SingleInstance second("ZArovivIvirozi2");
        SingleInstance other("Framepress Media Converter");
        QCOMPARE(first.Acquire(), SingleInstance::Result::First);
        QCOMPARE(first.Acquire(), SingleInstance::Result::First); // again: still ours
        QCOMPARE(second.Acquire(), SingleInstance::Result::AlreadyRunning);
        QCOMPARE(other.Acquire(), SingleInstance::Result::First);
        first.Release();
        QCOMPARE(second.Acquire(), SingleInstance::Result::First);
    }

    void pathsStayInTheRuntimeFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("spaces") << "Framepress Media Converter";
        QTest::newRow("separators") << "../../etc/passwd";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Vidéo «x»");
        QTest::newRow("empty") << "";
        QTest::newRow("very long") << QString(300, QLatin1Char('n'));
    }

    void pathsStayInTheRuntimeFolder()
    {
        QFETCH(QString, name);
        const QString dir = QString::fromStdString(*platform::RuntimeDir());
        const QString sock = SingleInstance::PathFor(name, ".sock");
        QCOMPARE(QFileInfo(sock).absolutePath(), dir);
        QVERIFY(QFile::encodeName(sock).size() < 108);
        SingleInstance guard(name);
        QCOMPARE(guard.Acquire(), SingleInstance::Result::First);
        QVERIFY(QFileInfo::exists(sock)); // listening
        // Names that read alike after cleaning stay apart.
        QVERIFY(SingleInstance::PathFor(name + "/", ".sock") != sock);
    }

    void laterStartAsksTheHolderToRaise()
    {
        SingleInstance first("raise-me");
        QCOMPARE(first.Acquire(), SingleInstance::Result::First);
        QStringList asked, handed;
        first.SetRaiseHandler([&](const QString &name, const QStringList &paths) {
            asked << name;
            handed << paths;
            return name.compare("Framepress", Qt::CaseInsensitive) == 0;
        });

        // More files than one request carries arrive whole and in order.
        QStringList paths{QString::fromUtf8("/home/a b/Ferien é.mp4"), "/x.jpg"};
        for (quint32 i = 0; i <= SingleInstance::kMaxPaths; ++i)
            paths << QStringLiteral("/clips/%1.mp4").arg(i);
        std::atomic_int answers[2] = {-1, -1};
        std::thread later([&answers, &paths] {
            answers[0] = SingleInstance::AskRunningInstance("raise-me", "FRAMEPRESS", 10000, paths);
            answers[1] = SingleInstance::AskRunningInstance("raise-me", QString::fromUtf8("Ötherapp"));
        });
        QTRY_VERIFY(answers[1] != -1);
        later.join();
        QCOMPARE(answers[0].load(), 1);
        QCOMPARE(answers[1].load(), 0);
        QCOMPARE(asked, QStringList({"FRAMEPRESS", "FRAMEPRESS", QString::fromUtf8("Ötherapp")}));
        QCOMPARE(handed, paths);
    }

    void nobodyListening()
    {
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!SingleInstance::AskRunningInstance("nobody-here", "x", 300));
        QVERIFY(timer.elapsed() < 3000);
    }

    // A crashed instance leaves its socket file behind; the next first instance must still listen.
    void staleSocketFileIsReplaced()
    {
        const QString sock = SingleInstance::PathFor("stale", ".sock");
        QFile f(sock);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        SingleInstance first("stale");
        QCOMPARE(first.Acquire(), SingleInstance::Result::First);
        first.SetRaiseHandler([](const QString &, const QStringList &) { return true; });
        std::atomic_int answer{-1};
        std::thread later([&answer] { answer = SingleInstance::AskRunningInstance("stale", "x"); });
        QTRY_VERIFY(answer != -1);
        later.join();
        QCOMPARE(answer.load(), 1);
    }

    // Only a whole, well-formed request of this user is heard (and answered); forked peers, so
    // that one can be another user (with root), the folder open so that only its uid bars it.
    void hostileRequestIsRefused_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("otherUser");
        const QByteArray good = U32(1) + Field("Framepress") + Field("/a.mp4");
        QTest::newRow("another user") << Frame(good) << true;
        QTest::newRow("oversized") << "FPS1" + U32(SingleInstance::kMaxRequestBytes + 1) << false;
        QTest::newRow("other tag") << Frame(good, "FPS9") << false;
        QTest::newRow("count past the end") << Frame(U32(2) + Field("Framepress") + Field("/a.mp4")) << false;
        QTest::newRow("field past the end") << Frame(U32(1) + Field("Framepress") + U32(7) + "/a.mp4") << false;
        QTest::newRow("relative path") << Frame(U32(1) + Field("Framepress") + Field("a.mp4")) << false;
        QTest::newRow("NUL in a path") << Frame(U32(1) + Field("Framepress") + Field({"/a.mp4\0.txt", 11})) << false;
    }
    void hostileRequestIsRefused()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, otherUser);
        if (otherUser && ::getuid() != 0)
            QSKIP("a peer of another user takes root");
        SingleInstance first("hostile");
        QCOMPARE(first.Acquire(), SingleInstance::Result::First);
        first.SetRaiseHandler([](const QString &, const QStringList &) { return true; });
        const QByteArray sock = QFile::encodeName(SingleInstance::PathFor("hostile", ".sock"));
        const QByteArray folder = QFile::encodeName(QFileInfo(sock).path());
        QVERIFY(::chmod(folder, 0711) == 0 && ::chmod(sock, 0777) == 0);
        // Named from inside its folder, so that the folders above it, which another user may not
        // pass (a home, a build tree), play no part.
        sockaddr_un address{AF_UNIX, {}};
        qstrncpy(address.sun_path, QFile::encodeName(QFileInfo(sock).fileName()).constData(), sizeof address.sun_path);
        // The child makes only system calls; it ends with 0 when closed without an answer.
        const pid_t peer = ::fork();
        if (peer == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::chdir(folder.constData()) != 0 || (otherUser && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
                ::_exit(2);
            ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
            char answer;
            ::_exit(::read(fd, &answer, 1) > 0 ? 1 : 0);
        }
        int status = -1; // not "exited"
        QTRY_VERIFY_WITH_TIMEOUT(WIFEXITED(status) || ::waitpid(peer, &status, WNOHANG) == peer, 30000);
        QVERIFY(::chmod(folder, 0700) == 0);
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
