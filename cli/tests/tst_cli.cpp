// framepress-cli as a terminal, a script or an SSH session runs it: a child process with no
// display and no platform plugin named, judged by its exit status and what it writes.

#include "encoder/wide_name.h"
#include "platform/native_name.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <fstream>

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

const QString kLong(251, 'x');

QString CliPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/framepress-cli"); }

bool Make(const QStringList &ffmpegArgs)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-y"} + ffmpegArgs);
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

// Small and quick: a test pattern with a tone, seconds long.
bool MakeClip(const QString &path, int seconds)
{
    const QString length = QString::number(seconds);
    return Make({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=" + length, "-f", "lavfi", "-i",
                 "sine=frequency=440:duration=" + length, "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                 path});
}

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

namespace fs = std::filesystem;
fs::path Bytes(const QString &folder, const QByteArray &name)
{
    return fs::path(QFile::encodeName(folder + '/').toStdString() + name.toStdString());
}

// QProcess hands arguments over as UTF-8: the name reaches the program through printf instead.
Ran RunCliOnBytes(const QString &folder, const QStringList &options, const QByteArray &file)
{
    QString octal;
    for (const char c : file)
        octal += QStringLiteral("\\%1").arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
    QProcess sh;
    sh.setProcessEnvironment(Headless());
    sh.setWorkingDirectory(folder);
    sh.start("sh", {"-c", "exec \"$0\" --json --output out " + options.join(' ') + " \"$(printf \"$1\")\"", CliPath(),
                    octal});
    Ran ran;
    if (sh.waitForFinished(120000) && sh.exitStatus() == QProcess::NormalExit)
        ran = {sh.exitCode(), QString::fromUtf8(sh.readAllStandardOutput()),
               QString::fromUtf8(sh.readAllStandardError())};
    return ran;
}

QString FirstCodec(const fs::path &file)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("check");
    fs::copy_file(file, plain.toStdString());
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", plain});
    probe.waitForFinished(60000);
    return QString::fromUtf8(probe.readAllStandardOutput()).section('\n', 0, 0).trimmed();
}

} // namespace

class TstCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_media; // made once, copied for each row: trashed sources must not be missed

private slots:
    void initTestCase();
    // QTemporaryDir cannot remove names that are no UTF-8; std::filesystem goes by their bytes.
    void cleanupTestCase() { fs::remove_all(m_media.path().toStdString()); }
    void usage_data();
    void usage();
    void converts_data();
    void converts();
    void nameBytes_data();
    void nameBytes();
    void rawNames_data();
    void rawNames();
    void fatStick();
};

void TstCli::initTestCase()
{
    const QString m = m_media.path() + '/';
    QVERIFY(MakeClip(m + "clip one.mp4", 1));
    QVERIFY(MakeClip(m + "long.mkv", 30));
    QVERIFY(Make({"-f", "lavfi", "-i", "testsrc=size=400x300", "-frames:v", "1", m + "pic é.png"}));
    // Names of 255 bytes, whose outputs need a counter: the stem gives way.
    QVERIFY(QFile::copy(m + "clip one.mp4", m + kLong + ".mp4"));
    QVERIFY(MakeClip(m + kLong + ".mkv", 1));
    QVERIFY(QFile::copy(m + "pic é.png", m + kLong + ".png"));
    QVERIFY(Make({"-f", "lavfi", "-i", "testsrc=size=400x300", "-frames:v", "1", m + kLong + ".bmp"}));
    QFile(m + "empty.mp4").open(QIODevice::WriteOnly);
    // Names of an old Latin-1 disk, and one with UTF-8 and stray bytes mixed.
    fs::copy_file(Bytes(m, "clip one.mp4"), Bytes(m, "caf\xe9.mp4"));
    QVERIFY(Make({"-f", "lavfi", "-i", "testsrc=size=400x300", "-frames:v", "1", m + "cafe.jpg"}));
    fs::copy_file(Bytes(m, "cafe.jpg"), Bytes(m, "caf\xe9.jpg"));
    fs::copy_file(Bytes(m, "pic é.png"), Bytes(m, "\xc3\xa9t\xe9\xff.png"));
    QFile notes(m + "notes.txt");
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not media\n") > 0);
}

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

void TstCli::converts_data()
{
    QTest::addColumn<QStringList>("files");   // of the made media; another name is missing
    QTest::addColumn<QStringList>("options"); // --json and --output out are always given
    QTest::addColumn<bool>("interrupt");      // SIGINT once the long clip reports progress
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("outcomes"); // by file; "" for one that never ended
    QTest::addColumn<QStringList>("outputs");  // the output folder afterwards, hidden files too

    QTest::newRow("every file converted") << QStringList{"clip one.mp4", "pic é.png"} << QStringList{} << false << 0
                                          << QStringList{"done", "done"} << QStringList{"clip one.mp4", "pic é.jpg"};
    QTest::newRow("a failed file fails the command")
        << QStringList{"empty.mp4", "clip one.mp4", "notes.txt", "missing.mov", "pic é.png"} << QStringList{} << false
        << 1 << QStringList{"failed", "done", "failed", "failed", "done"} << QStringList{"clip one.mp4", "pic é.jpg"};
    QTest::newRow("sources to the trash")
        << QStringList{"clip one.mp4", "pic é.png"} << QStringList{"--trash-sources"} << false << 0
        << QStringList{"done", "done"} << QStringList{"clip one.mp4", "pic é.jpg"};
    const QString cut = kLong.left(248) + "(1)";
    QTest::newRow("255-byte names") << QStringList{kLong + ".mp4", kLong + ".mkv", kLong + ".png", kLong + ".bmp"}
                                    << QStringList{} << false << 0 << QStringList{"done", "done", "done", "done"}
                                    << QStringList{cut + ".jpg", cut + ".mp4", kLong + ".jpg", kLong + ".mp4"};
    // Mid-file: nothing of the long clip stays, the clip finished before it does, and no
    // picture starts.
    QTest::newRow("ctrl-c") << QStringList{"clip one.mp4", "long.mkv", "pic é.png"} << QStringList{} << true << 130
                            << QStringList{"done", "cancelled", ""} << QStringList{"clip one.mp4"};
}

void TstCli::converts()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, options);
    QFETCH(bool, interrupt);
    QFETCH(int, exitCode);
    QFETCH(QStringList, outcomes);
    QFETCH(QStringList, outputs);

    QTemporaryDir row;
    for (const QString &name : files)
        QFile::copy(m_media.filePath(name), row.filePath(name));
    QProcess cli;
    cli.setProcessEnvironment(Headless());
    cli.setWorkingDirectory(row.path());
    cli.start(CliPath(), QStringList{"--json", "--output", "out"} + options + files);
    QVERIFY(cli.waitForStarted());

    QList<QJsonObject> events;
    bool sent = false;
    while (cli.state() == QProcess::Running || cli.canReadLine()) {
        if (!cli.canReadLine() && !cli.waitForReadyRead(120000) && cli.state() == QProcess::Running)
            QFAIL("no word from framepress-cli");
        while (cli.canReadLine()) {
            // Every line is one JSON object, and nothing else is written.
            QJsonParseError error;
            const QJsonDocument line = QJsonDocument::fromJson(cli.readLine(), &error);
            QVERIFY2(error.error == QJsonParseError::NoError && line.isObject(), qPrintable(error.errorString()));
            events << line.object();
            if (interrupt && !sent && events.last()["event"] == "progress" && events.last()["file"] == "long.mkv")
                sent = ::kill(pid_t(cli.processId()), SIGINT) == 0;
        }
    }
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), exitCode);
    QCOMPARE(sent, interrupt);

    QStringList ended(files.size());
    for (const QJsonObject &event : events) {
        if (event["event"] == "fileEnded")
            ended[event["index"].toInt()] = event["outcome"].toString();
    }
    QCOMPARE(ended, outcomes);
    QCOMPARE(events.last()["event"], "summary");
    QCOMPARE(events.last()["exitStatus"].toInt(), exitCode);
    QCOMPARE(QDir(row.filePath("out")).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name), outputs);

    // Trashed sources went to the trash, and only then left their place.
    const bool trashed = options.contains("--trash-sources");
    for (int i = 0; i < files.size(); ++i) {
        if (ended[i] == "done")
            QCOMPARE(QFile::exists(row.filePath(files[i])), !trashed);
    }
    if (trashed)
        QVERIFY(QFile::exists(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/pic é.png"));
}

void TstCli::nameBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("raw"); // bytes that are no UTF-8

    QTest::newRow("plain") << QByteArray("/tmp/clip one.mp4") << 0;
    QTest::newRow("UTF-8 with a pair") << QByteArray("/tmp/\xc3\xa9\xf0\x9f\x98\x80.mp4") << 0;
    QTest::newRow("Latin-1") << QByteArray("/tmp/caf\xe9.mp4") << 1;
    QTest::newRow("cut at the end") << QByteArray("a\xc3") << 1;
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80") << 3; // would read as an escape
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << 2;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << 4;
    QTest::newRow("bytes no UTF-8 starts with") << QByteArray("\x80\xbf\xc1\xf5\xff") << 5;
}

void TstCli::nameBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, raw);
    const QString name = platform::NameFromNative(bytes);
    QCOMPARE(platform::NativeName(name), bytes);
    QCOMPARE(platform::HasRawBytes(name), raw > 0);
    QCOMPARE(platform::ShownName(name).count(QChar::ReplacementCharacter), raw);
    if (raw == 0)
        QCOMPARE(name, QString::fromUtf8(bytes));
    // The engine reads the name the window sends, UTF-16LE in Base64, as the same bytes.
    const QByteArray wide(reinterpret_cast<const char *>(name.utf16()), name.size() * 2);
    QCOMPARE(QByteArray::fromStdString(mencoder::DecodeWideName(wide.toBase64().toStdString()).value_or("?")), bytes);
    QCOMPARE(QByteArray::fromStdString(mencoder::EncodeWideName(bytes.toStdString())), wide.toBase64());
}

void TstCli::rawNames_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("taken"); // already in the output folder
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("codec");

    QTest::newRow("movie") << QByteArray("caf\xe9.mp4") << QByteArray() << QStringList{} << QByteArray("caf\xe9.mp4")
                           << "h264";
    QTest::newRow("movie, name taken") << QByteArray("caf\xe9.mp4") << QByteArray("caf\xe9.mp4") << QStringList{}
                                       << QByteArray("caf\xe9(1).mp4") << "h264";
    QTest::newRow("picture") << QByteArray("caf\xe9.jpg") << QByteArray() << QStringList{} << QByteArray("caf\xe9.jpg")
                             << "mjpeg";
    QTest::newRow("picture, name taken, source to the trash")
        << QByteArray("\xc3\xa9t\xe9\xff.png") << QByteArray("\xc3\xa9t\xe9\xff.jpg") << QStringList{"--trash-sources"}
        << QByteArray("\xc3\xa9t\xe9\xff(1).jpg") << "mjpeg";
}

void TstCli::rawNames()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, taken);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, output);
    QFETCH(QString, codec);

    QTemporaryDir row;
    fs::copy_file(Bytes(m_media.path(), source), Bytes(row.path(), source));
    fs::create_directory(Bytes(row.path(), "out"));
    if (!taken.isEmpty())
        fs::copy_file(Bytes(m_media.path(), "notes.txt"), Bytes(row.path(), "out/" + taken));
    const Ran ran = RunCliOnBytes(row.path(), options, source);
    QVERIFY2(ran.exitCode == 0, qPrintable(ran.out + ran.err));

    QList<QByteArray> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(Bytes(row.path(), "out")))
        names << QByteArray::fromStdString(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    QCOMPARE(names, (taken.isEmpty() ? QList<QByteArray>{output} : QList<QByteArray>{output, taken})); // "(1)" first
    QCOMPARE(FirstCodec(Bytes(row.path(), "out/" + output)), codec);

    const bool trashed = options.contains("--trash-sources");
    QCOMPARE(fs::exists(Bytes(row.path(), source)), !trashed);
    if (trashed) {
        // The trash's record names the source by its bytes, percent-encoded.
        const QByteArray line =
            "Path=" + QFile::encodeName(row.path() + '/').toPercentEncoding("/") + source.toPercentEncoding("/") + '\n';
        bool recorded = false;
        for (const fs::directory_entry &info : fs::directory_iterator(
                 QFile::encodeName(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/info").toStdString())) {
            std::ifstream file(info.path());
            const std::string text{std::istreambuf_iterator<char>(file), {}};
            recorded = recorded || QByteArray::fromStdString(text).contains(line);
        }
        QVERIFY(recorded);
    }
}

// A FAT stick through FUSE (no hard links, no renaming without replacing, no file modes).
void TstCli::fatStick()
{
    QTemporaryDir row;
    const QString out = row.filePath("out"), image = row.filePath("fat.img");
    if (!QDir().mkpath(out) || QProcess::execute("mkfs.vfat", {"-C", image, "65536"}) != 0
        || QProcess::execute("fusefat", {"-o", "rw+", image, out}) != 0)
        QSKIP("no FAT through FUSE here (dosfstools, fusefat, /dev/fuse)");
    const auto unmount = qScopeGuard([&] { QProcess::execute("fusermount", {"-u", out}); });
    QFile mine(out + "/clip one.mp4"); // already there: keeps its own
    QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4 && mine.flush());
    QCOMPARE(RunCli({"--output", out, m_media.filePath("clip one.mp4"), m_media.filePath("cafe.jpg")}).exitCode, 0);
    const QStringList outputs{"cafe.jpg", "clip one(1).mp4", "clip one.mp4"};
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), outputs);
    QCOMPARE(QFileInfo(mine).size(), 4);
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
