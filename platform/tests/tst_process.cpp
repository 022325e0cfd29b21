#include "platform/process.h"

#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using platform::Process;
using platform::SplitCommandLine;
using namespace std::chrono_literals;

class TstProcess : public QObject {
    Q_OBJECT
private slots:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("blanks and tabs") << "  a \t b  c " << QStringList{"a", "b", "c"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("quotes group") << "-o \"my file.mp4\" x" << QStringList{"-o", "my file.mp4", "x"};
        QTest::newRow("quote inside a word") << "a\"b c\"d" << QStringList{"ab cd"};
        QTest::newRow("empty quotes") << "a \"\" b" << QStringList{"a", "", "b"};
        QTest::newRow("unclosed quote") << "\"a b" << QStringList{"a b"};
        QTest::newRow("backslashes alone") << "C:\\dir\\ \\\\x" << QStringList{"C:\\dir\\", "\\\\x"};
        QTest::newRow("escaped quote") << "a\\\"b" << QStringList{"a\"b"};
        QTest::newRow("two backslashes, quote") << "\"a\\\\\" b" << QStringList{"a\\", "b"};
        QTest::newRow("three backslashes, quote") << "a\\\\\\\"b" << QStringList{"a\\\"b"};
        QTest::newRow("doubled quote in quotes") << "\"a\"\"b c\"" << QStringList{"a\"b", "c"};
        QTest::newRow("non-ASCII") << "-vf \"é ü\"" << QStringList{"-vf", "é ü"};
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, args);
        QStringList got;
        for (const auto &a : SplitCommandLine(text.toStdString()))
            got << QString::fromStdString(a);
        QCOMPARE(got, args);
    }

    void exitCodeAndArguments()
    {
        Process p;
        QVERIFY(p.Start("/bin/sh", "-c \"test \\\"$0\\\" = 'x y' && exit 3\" \"x y\""));
        QVERIFY(p.HasChild());
        QVERIFY(!p.Start("/bin/true", std::vector<std::string>{})); // one child at a time
        QVERIFY(p.WaitFor(5000ms));
        QVERIFY(!p.HasChild());
        QCOMPARE(p.ExitCode(), std::optional<int>(3));
    }

    void missingProgram()
    {
        Process p;
        QVERIFY(!p.Start("/nonexistent/mencoder", std::vector<std::string>{}));
        QCOMPARE(p.Error(), ENOENT);
        QVERIFY(!p.HasChild());
        QVERIFY(!p.IsAlive());
        QVERIFY(!p.Kill());
    }

    void killReaps()
    {
        Process p;
        QVERIFY(p.Start("/bin/sleep", "30"));
        QVERIFY(p.IsAlive());
        const pid_t pid = p.Pid();
        QCOMPARE(::getpgid(pid), pid); // a group of its own: the terminal's Ctrl-C is not for it
        QVERIFY(p.Kill());             // without waiting: reaped once it has gone
        QVERIFY(p.WaitFor(5000ms));
        QCOMPARE(p.ExitCode(), std::optional<int>(128 + SIGKILL));
        QCOMPARE(::kill(pid, 0), -1); // reaped, not a zombie
        QVERIFY(!p.Kill());
    }

    // Our descriptors, even without close-on-exec, do not leak into the child.
    void descriptorsNotInherited()
    {
        const int fd = ::open("/dev/null", O_RDONLY); // deliberately inheritable
        QVERIFY(fd > 2);
        Process p;
        QVERIFY(p.Start("/bin/sh", "-c \"test ! -e /proc/self/fd/" + std::to_string(fd) + "\""));
        QVERIFY(p.WaitFor(5000ms));
        ::close(fd);
        QCOMPARE(p.ExitCode(), std::optional<int>(0));
    }

    // The child dies with the thread that started it: nothing outlives its owner.
    void diesWithStarter()
    {
        Process p;
        std::thread starter([&] { QVERIFY(p.Start("/bin/sleep", "30")); });
        starter.join();
        QVERIFY(p.WaitFor(5000ms));
        QCOMPARE(p.ExitCode(), std::optional<int>(128 + SIGKILL));
    }
};

QTEST_GUILESS_MAIN(TstProcess)
#include "tst_process.moc"
