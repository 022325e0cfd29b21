// What is kept of a real child's standard error: how lines are split and cut, and that a
// child which leaves the pipe to a process of its own does not hold up Close.

#include "engine/diagnostics_tail.h"
#include "platform/process.h"
#include "test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <future>

using namespace engine;
using namespace std::chrono_literals;

namespace {

// Runs a shell script with the tail as its standard error, waits for it and closes the tail.
std::vector<std::string> TailOf(const std::string &script)
{
    DiagnosticsTail tail;
    platform::Process child;
    const int fd = tail.Open();
    if (fd < 0 || !child.Start("/bin/sh", {"-c", script}, fd))
        return {"<not started>"};
    tail.ReleaseWriteEnd();
    if (!child.WaitFor(60s))
        return {"<still running>"};
    tail.Close();
    return tail.Lines();
}

} // namespace

class TstDiagnosticsTail : public QObject {
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<Lines>("lines");
        const std::string limit(DiagnosticsTail::kLineBytes, 'y');
        const std::string ellipsis = "\xE2\x80\xA6";
        QTest::newRow("nothing said") << "true" << Lines{};
        QTest::newRow("\\r, \\r\\n and \\n end lines; empty ones dropped")
            << "printf 'a\\r\\nPos: 1s\\rPos: 2s\\n\\n\\nb\\n' >&2" << Lines{"a", "Pos: 1s", "Pos: 2s", "b"};
        QTest::newRow("last words without a newline") << "printf 'one\\ntwo' >&2" << Lines{"one", "two"};
        QTest::newRow("only the last 20") << "i=1; while [ $i -le 25 ]; do echo line $i >&2; i=$((i+1)); done" << [] {
            Lines l;
            for (int i = 6; i <= 25; ++i)
                l.push_back("line " + std::to_string(i));
            return l;
        }();
        QTest::newRow("a line at the limit stays whole")
            << QString::fromStdString("printf '%s\\n' " + limit + " >&2") << Lines{limit};
        QTest::newRow("a longer line is cut")
            << QString::fromStdString("printf '%s' " + limit + "zzz >&2; printf '\\nnext\\n' >&2")
            << Lines{limit + ellipsis, "next"};
        QTest::newRow("a cut inside a character drops its start")
            << QString::fromStdString("printf '%s\\303\\251' " + limit.substr(1) + " >&2")
            << Lines{limit.substr(1) + ellipsis};
        QTest::newRow("non-ASCII and quotes kept as written")
            << "printf '%s\\n' \"Größe \\\"ü\\\" 'x' ✓\" >&2" << Lines{"Größe \"ü\" 'x' ✓"};
    }
    void lines()
    {
        QFETCH(QString, script);
        QFETCH(Lines, lines);
        QCOMPARE(TailOf(script.toStdString()), lines);
    }

    // The child ends but a process it started still holds the pipe: Close takes what is
    // there and returns instead of waiting for that process.
    void heldOpenByAnother()
    {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath("pid");
        DiagnosticsTail tail;
        platform::Process child;
        const std::string script =
            "echo before >&2; sleep 120 </dev/null >/dev/null & echo $! > '" + pidFile.toStdString() + "'";
        QVERIFY(child.Start("/bin/sh", {"-c", script}, tail.Open()));
        tail.ReleaseWriteEnd();
        QVERIFY(child.WaitFor(60s));
        QFile f(pidFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const pid_t holder = f.readAll().trimmed().toInt();
        QVERIFY(holder > 0);

        auto closed = std::async(std::launch::async, [&] { tail.Close(); });
        const bool returned = closed.wait_for(60s) == std::future_status::ready;
        ::kill(holder, SIGKILL);
        closed.wait();
        QVERIFY(returned);
        QCOMPARE(tail.Lines(), Lines{"before"});
    }
};

QTEST_GUILESS_MAIN(TstDiagnosticsTail)
#include "tst_diagnostics_tail.moc"
