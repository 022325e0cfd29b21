// framepress-cli as a terminal, a script or an SSH session runs it: a child process with no
// display and no platform plugin named, judged by its exit status and what it writes.

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

namespace {

struct Ran {
    int exitCode = -1;
    QString out;
    QString err;
};

// The environment of a session without a display: no X, no Wayland, no platform plugin.
QProcessEnvironment Headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

QString CliPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/framepress-cli"); }

Ran RunCli(const QStringList &args)
{
    QProcess cli;
    cli.setProcessEnvironment(Headless());
    cli.start(CliPath(), args);
    Ran ran;
    if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit)
        return ran;
    ran.exitCode = cli.exitCode();
    ran.out = QString::fromUtf8(cli.readAllStandardOutput());
    ran.err = QString::fromUtf8(cli.readAllStandardError());
    return ran;
}

} // namespace

class TstCli : public QObject {
    Q_OBJECT

private slots:
    void usage_data();
    void usage();
};

void TstCli::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on standard output for --help, else on standard error

    QTest::newRow("no file") << QStringList{} << 2 << "no file to convert";
    QTest::newRow("options only") << QStringList{"--sd", "--json"} << 2 << "no file to convert";
    QTest::newRow("unknown option") << QStringList{"--fast", "a.mp4"} << 2 << "\"--fast\"";
    QTest::newRow("unknown option with a value") << QStringList{"--speed=9", "a.mp4"} << 2 << "\"--speed\"";
    QTest::newRow("output without a folder") << QStringList{"a.mp4", "--output"} << 2 << "--output needs a folder";
    QTest::newRow("output empty") << QStringList{"--output=", "a.mp4"} << 2 << "--output needs a folder";
    QTest::newRow("rotate off the quarter turns") << QStringList{"--rotate", "45", "a.jpg"} << 2 << "\"45\"";
    QTest::newRow("rotate without an angle") << QStringList{"a.jpg", "--rotate"} << 2 << "--rotate needs an angle";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: framepress-cli";
    QTest::newRow("help over a bad line") << QStringList{"--fast", "-h"} << 0 << "Usage: framepress-cli";
}

void TstCli::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const Ran ran = RunCli(args);
    QCOMPARE(ran.exitCode, exitCode);
    if (exitCode == 0) {
        QVERIFY2(ran.out.contains(said), qPrintable(ran.out));
        QVERIFY(ran.err.isEmpty());
    } else {
        // Usage errors go to standard error only: a script reading standard output gets nothing.
        QVERIFY2(ran.err.contains(said), qPrintable(ran.err));
        QVERIFY(ran.out.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
