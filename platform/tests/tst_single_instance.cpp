#include "platform/runtime_dir.h"
#include "platform/single_instance.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

using platform::SingleInstance;

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
        QStringList asked;
        first.SetRaiseHandler([&asked](const QString &name) {
            asked << name;
            return name.compare("Framepress", Qt::CaseInsensitive) == 0;
        });

        std::atomic_int answers[2] = {-1, -1};
        std::thread later([&answers] {
            answers[0] = SingleInstance::AskRunningInstance("raise-me", "FRAMEPRESS");
            answers[1] = SingleInstance::AskRunningInstance("raise-me", QString::fromUtf8("Ötherapp"));
        });
        QTRY_VERIFY(answers[1] != -1);
        later.join();
        QCOMPARE(answers[0].load(), 1);
        QCOMPARE(answers[1].load(), 0);
        QCOMPARE(asked, QStringList({"FRAMEPRESS", QString::fromUtf8("Ötherapp")}));
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
        first.SetRaiseHandler([](const QString &) { return true; });
        std::atomic_int answer{-1};
        std::thread later([&answer] { answer = SingleInstance::AskRunningInstance("stale", "x"); });
        QTRY_VERIFY(answer != -1);
        later.join();
        QCOMPARE(answer.load(), 1);
    }

    void endlessRequestIsCutOff()
    {
        SingleInstance first("flood");
        QCOMPARE(first.Acquire(), SingleInstance::Result::First);
        int calls = 0;
        first.SetRaiseHandler([&calls](const QString &) {
            ++calls;
            return true;
        });
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::PathFor("flood", ".sock"));
        QVERIFY(socket.waitForConnected(2000));
        const QByteArray junk(64 * 1024, 'x');
        socket.write(junk);
        QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
