// Whether the engine knows a whole file from a cut-off copy, and how it treats inputs that
// are no files at all. The media are made here with the ffmpeg command line: 30 s, so that
// even a copy missing its last 1 % lacks several frames, and tiny pictures, so that each run
// takes a moment.

#include "engine/failure_codes.h"
#include "media_tools.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using engine::FailureCode;
using namespace testing;

// A byte edit made on a file after ffmpeg wrote it.
using Edit = std::function<void(QByteArray &)>;

Q_DECLARE_METATYPE(FailureCode)
Q_DECLARE_METATYPE(Edit)

namespace {

const QString kOptions = "-ovc lavc -lavcopts vcodec=mpeg4:vbitrate=300 -oac mp3lame -lameopts br=64:cbr";

const QStringList kPicture = {"-f", "lavfi", "-i", "testsrc2=size=128x96:rate=25:duration=30,noise=alls=30:allf=t"};
const QStringList kSound = {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=30"};
const QStringList kShortSound = {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=20"};
const QStringList kH264 = {"-c:v", "libx264", "-preset", "ultrafast", "-g", "25", "-c:a", "aac"};

// Writes `value` over the file, `offset` bytes past the first `marker`.
Edit At(const QByteArray &marker, int offset, const QByteArray &value)
{
    return [=](QByteArray &file) { file.replace(file.indexOf(marker) + offset, value.size(), value); };
}

template <typename T>
QByteArray Bytes(T value, bool big)
{
    QByteArray b(sizeof(T), 0);
    big ? qToBigEndian(value, b.data()) : qToLittleEndian(value, b.data());
    return b;
}

// Moves the granule position of the last page on by 40 Theora frames (past a 6-bit key
// frame shift) and mends the page's CRC: the stated length then lies past its pictures.
void LengthenLastOggPage(QByteArray &file)
{
    char *page = file.data() + file.lastIndexOf("OggS");
    qToLittleEndian(qFromLittleEndian<qint64>(page + 6) + (qint64(40) << 6), page + 6);
    qToLittleEndian<quint32>(0, page + 22);
    quint32 crc = 0;
    for (const char *p = page; p < file.constData() + file.size(); ++p) {
        crc ^= quint32(uchar(*p)) << 24;
        for (int k = 0; k < 8; ++k)
            crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    qToLittleEndian(crc, page + 22);
}

// Whether SIGTERM has a handler in the process yet: before that a signal would kill it
// instead of stopping it, and a test would measure the wrong thing.
bool CatchesTerm(qint64 pid)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

} // namespace

class TestMencoderComplete : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cutShort_data();
    void cutShort();
    void realWorldShapes_data();
    void realWorldShapes();
    void joinedParts_data();
    void joinedParts();
    void notAFile_data();
    void notAFile();
    void stopWhileWaiting();
    void stopWhileOpeningBlocks();
    void plainMessages_data();
    void plainMessages();

private:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    Outcome Convert(const QString &input, const QString &output)
    {
        return Run(Engine(), QStringList{input} + Words(kOptions) + QStringList{"-o", output}, 60000);
    }

    QTemporaryDir m_dir;
};

void TestMencoderComplete::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(Engine()), "mencoder is not built beside the tests");
    // Enough bit rate that the AVI's index at its end is a small part of its last 1 %.
    QVERIFY(Ffmpeg(
        kPicture + kSound
        + QStringList{"-c:v", "mpeg4", "-b:v", "2000k", "-c:a", "libmp3lame", "-b:a", "128k", Path("whole.avi")}));
    QVERIFY(Ffmpeg(kSound + QStringList{"-ac", "1", "-c:a", "pcm_s16le", Path("whole.wav")}));
    QVERIFY(Ffmpeg(kPicture + kSound + kH264 + QStringList{"-movflags", "+faststart", Path("index-first.mp4")}));
    QVERIFY(Ffmpeg(kPicture + kSound + kH264 + QStringList{Path("index-last.mp4")}));
    QVERIFY(Ffmpeg(kPicture + kSound + kH264 + QStringList{Path("whole.mkv")}));
    QVERIFY(Ffmpeg(kSound + QStringList{"-c:a", "libmp3lame", "-b:a", "128k", Path("whole.mp3")}));
    QVERIFY(Ffmpeg(kPicture + kSound + QStringList{"-c:v", "flv1", "-c:a", "libmp3lame", Path("whole.flv")}));
    for (const QString sound : {"flac", "aiff", "au", "wma"})
        QVERIFY(Ffmpeg(kSound + QStringList{Path("whole." + sound)}));
}

void TestMencoderComplete::cutShort_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("percent");
    QTest::addColumn<FailureCode>("code");
    for (const QString source : {"whole.avi", "whole.wav", "index-first.mp4", "index-last.mp4", "whole.mkv",
                                 "whole.mp3", "whole.flv", "whole.flac", "whole.aiff", "whole.au", "whole.wma"}) {
        for (const int percent : {50, 90, 99}) {
            if (source == "whole.wma" && percent < 99)
                continue; // FFmpeg drops the length of an ASF copy much shorter than its header's
            QTest::addRow("%s cut at %d %%", qPrintable(source), percent)
                << source << percent << FailureCode::InputCutShort;
        }
        QTest::addRow("%s whole", qPrintable(source)) << source << 100 << FailureCode::None;
    }
}

void TestMencoderComplete::cutShort()
{
    QFETCH(QString, source);
    QFETCH(int, percent);
    QFETCH(FailureCode, code);
    QFile whole(Path(source));
    QVERIFY(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const QString input = Path(QString("cut%1-%2").arg(percent).arg(source));
    QFile cut(input);
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() * percent / 100));
    cut.close();

    const QString output = Path(QString("out%1-%2.avi").arg(percent).arg(source));
    const Outcome run = Convert(input, output);
    QVERIFY2(!run.crashed, run.err.constData());
    QVERIFY2(run.exitCode == int(code), qPrintable(QString("exit %1: %2").arg(run.exitCode).arg(run.err.constData())));
    QCOMPARE(QFile::exists(output), code == FailureCode::None);
    if (code == FailureCode::InputCutShort)
        QVERIFY2(run.err.contains("cut short"), run.err.constData());
    // MP4 shows its cut in its top-level boxes: refused before a picture is converted.
    if (code == FailureCode::InputCutShort && source.endsWith(".mp4"))
        QVERIFY2(!run.err.contains("Pos:"), run.err.constData());
}

// Files whose streams legitimately end apart or start late must not look cut; nor must whole
// files whose header overstates their length, which convert with a note of the difference.
void TestMencoderComplete::realWorldShapes_data()
{
    QTest::addColumn<QStringList>("make"); // ffmpeg's arguments; the last names the file
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<bool>("noted");
    const auto add = [](const QString &name, const QStringList &make, const Edit &edit = {}, bool noted = false) {
        QTest::newRow(qPrintable(name)) << make << edit << noted;
    };
    const QStringList late = {"-itsoffset", "1.5"};
    const QString vfr = "testsrc2=size=128x96:rate=25:duration=30,select='lt(mod(n\\,10)\\,6)'";
    for (const QString ext : {"mp4", "mkv", "avi"}) {
        const QStringList codecs = ext == "avi" ? QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"} : kH264;
        add(ext + ", sound shorter than the picture",
            kPicture + kShortSound + codecs + QStringList{Path("unequal." + ext)});
        add(ext + ", picture shorter than the sound",
            QStringList{"-f", "lavfi", "-i", "testsrc2=size=128x96:rate=25:duration=20"} + kSound + codecs
                + QStringList{Path("unequal2." + ext)});
        add(ext + ", sound starting late", kPicture + late + kShortSound + codecs + QStringList{Path("late." + ext)});
        add(ext + ", variable frame rate", QStringList{"-f", "lavfi", "-i", vfr} + kSound
                                               + QStringList{"-fps_mode", "vfr"} + codecs
                                               + QStringList{Path("vfr." + ext)});
    }
    // Cut from a longer film without re-encoding: an edit list skips what precedes the cut.
    add("mp4, edit list", {"-ss", "1.3", "-i", Path("index-first.mp4"), "-c", "copy", Path("edit.mp4")});
    add("mkv, cut by stream copy", {"-ss", "1.3", "-i", Path("whole.mkv"), "-c", "copy", Path("edit.mkv")});
    add("mp3 without a Xing header", kSound + QStringList{"-c:a", "libmp3lame", "-write_xing", "0", Path("plain.mp3")});
    add("mp4, fragmented",
        kPicture + kSound + kH264 + QStringList{"-movflags", "frag_keyframe+empty_moov", Path("fragmented.mp4")});
    add("webm, written live", kPicture + kSound
                                  + QStringList{"-c:v", "libvpx", "-deadline", "realtime", "-c:a", "libopus", "-live",
                                                "1", Path("live.webm")});

    // Recorders that never fix up their header leave a stand-in size there.
    const auto copy = [this](const QString &from, const QString &to) {
        return QStringList{"-i", Path(from), "-c", "copy", Path(to)};
    };
    for (const quint32 standIn : {0x7FFFF000u, 0xFFFFFFFFu, 0u})
        add(QString("wav, stand-in size %1").arg(standIn, 0, 16),
            copy("whole.wav", QString("stand-in%1.wav").arg(standIn)), [standIn](QByteArray &file) {
                At("RIFF", 4, Bytes(standIn, false))(file);
                At("data", 4, Bytes(standIn, false))(file);
            });
    // The demuxer moves Opus packets back by the codec's delay (made 16 ms here, more than two
    // of its 2.5 ms packets); the segment's length counts it.
    add("opus in mkv, codec delay",
        {"-f", "lavfi", "-i", "sine=sample_rate=48000:duration=6", "-c:a", "libopus", "-frame_duration", "2.5",
         Path("delay.mkv")},
        At("\x56\xAA\x83", 3, QByteArray("\xF4\x24\x00", 3)));
    add("ogg, stated length past its last page", kPicture + QStringList{"-c:v", "libtheora", Path("theora.ogv")},
        LengthenLastOggPage, true);
    // Hostile headers claiming 60 s of 30; the file's own structure ends whole.
    add(
        "avi, frame count doubled, full index", copy("whole.avi", "doubled.avi"),
        [](QByteArray &file) {
            At("avih", 24, Bytes(1502u, false))(file);
            At("strh", 40, Bytes(1502u, false))(file);
        },
        true);
    add(
        "mkv, duration doubled", copy("whole.mkv", "doubled.mkv"),
        [](QByteArray &file) {
            At("\x44\x89\x88", 3, Bytes(60000.0, true))(file);
            file.replace("00:00:30.", "00:01:00."); // each track's DURATION tag
        },
        true);
    add("flv, duration doubled", copy("whole.flv", "doubled.flv"), At("duration", 9, Bytes(60.0, true)), true);
    add("mp3, Xing frame count too large", copy("whole.mp3", "doubled.mp3"), At("Info", 8, Bytes(2300u, true)), true);
    add("wav, data size too large", copy("whole.wav", "doubled.wav"), At("data", 4, Bytes(5292000u, false)), true);
}

void TestMencoderComplete::realWorldShapes()
{
    QFETCH(QStringList, make);
    QFETCH(Edit, edit);
    QFETCH(bool, noted);
    QVERIFY(Ffmpeg(make));
    if (edit) {
        QFile file(make.last());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        edit(bytes);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    }
    const QString output = make.last() + ".avi";
    const Outcome run = Convert(make.last(), output);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(QFile::exists(output));
    QVERIFY2(run.err.contains("note: the header declares") == noted, run.err.constData());
}

void TestMencoderComplete::joinedParts_data()
{
    QTest::addColumn<QStringList>("codecs");
    QTest::addColumn<QString>("ext");
    QTest::newRow("MPEG-TS recording in parts") << kH264 << "ts";
    QTest::newRow("DVD VOB files") << QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"} << "vob";
}

// Parts joined end to end, each with its clock started again: all of them are converted.
void TestMencoderComplete::joinedParts()
{
    QFETCH(QStringList, codecs);
    QFETCH(QString, ext);
    QByteArray joined;
    for (int part = 1; part <= 3; ++part) {
        const QString name = Path(QString("part%1.%2").arg(part).arg(ext));
        const QStringList sources{
            "-f", "lavfi", "-i", "testsrc2=size=128x96:rate=25:duration=2",
            "-f", "lavfi", "-i", QString("sine=frequency=%1:sample_rate=48000:duration=2").arg(300 * part)};
        QVERIFY(Ffmpeg(sources + codecs + QStringList{name}));
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        joined += file.readAll();
    }
    const QString input = Path("joined." + ext), output = input + ".avi";
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(joined) == joined.size());
    file.close();
    const Outcome run = Convert(input, output);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // The progress never goes back at a join, and ends full.
    int percent = 0;
    for (auto m = QRegularExpression(" (\\d+)%").globalMatch(QString::fromUtf8(run.err)); m.hasNext();) {
        const int now = m.next().captured(1).toInt();
        QVERIFY2(now >= percent, run.err.constData());
        percent = now;
    }
    QCOMPARE(percent, 100);
    for (const QString kind : {"video", "audio"}) {
        const double seconds = Number(Stream(Probe(output), kind), "duration");
        QVERIFY2(seconds > 5.8 && seconds < 6.3, qPrintable(kind + ": " + QString::number(seconds)));
    }
}

void TestMencoderComplete::notAFile_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("named pipe") << "fifo";
    QTest::newRow("folder") << "folder.avi";
    QTest::newRow("device") << "/dev/zero";
}

// A pipe would block the engine in opening it, out of reach of any stop.
void TestMencoderComplete::notAFile()
{
    QFETCH(QString, input);
    const QString path = input.startsWith('/') ? input : Path(input);
    if (input == "fifo" && !QFile::exists(path))
        QCOMPARE(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    if (input == "folder.avi")
        QVERIFY(QDir().mkpath(path));
    const QString output = Path("not-a-file.avi");
    const Outcome run = Convert(path, output);
    QVERIFY2(run.exitCode == int(FailureCode::InputNotAFile),
             qPrintable(QString("exit %1: %2").arg(run.exitCode).arg(run.err.constData())));
    QVERIFY2(run.err.contains("not a regular file"), run.err.constData());
    QVERIFY(!QFile::exists(output));
}

// Before its conversion starts the engine has nothing to clean up: a stop ends it at once,
// here while it waits for an application that never opens its sockets.
void TestMencoderComplete::stopWhileWaiting()
{
    QProcess engine;
    engine.start(Engine(), QStringList{Path("whole.avi")} + Words(kOptions)
                               + QStringList{"-o", Path("never.avi"), "-pipename=987654"});
    QVERIFY(engine.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(CatchesTerm(engine.processId()), 20000);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(engine.processId()), SIGTERM);
    // The bound leaves room for a busy machine; the figure itself is printed.
    QVERIFY(engine.waitForFinished(5000));
    qInfo("engine ended %lld ms after SIGTERM", static_cast<long long>(clock.elapsed()));
    QCOMPARE(engine.exitStatus(), QProcess::NormalExit);
    QCOMPARE(engine.exitCode(), int(FailureCode::Stopped));
    QVERIFY(!QFile::exists(Path("never.avi")));
}

// An open that blocks in the kernel, out of reach of any check of ours: here a file on which
// this test holds a write lease, so that the engine's open waits for the lease to be broken
// (45 s by default). A stop must still end the engine, leaving the stuck thread behind.
void TestMencoderComplete::stopWhileOpeningBlocks()
{
    const QString input = Path("leased.avi");
    QFile::remove(input);
    QVERIFY(QFile::copy(Path("whole.avi"), input));
    const int fd = ::open(input.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const auto closeLease = qScopeGuard([fd] {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        ::close(fd);
    });
    std::signal(SIGIO, SIG_IGN); // the break notice; we hold on regardless
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) != 0)
        QSKIP("this file system or kernel grants no file leases");

    QProcess engine;
    engine.start(Engine(), QStringList{input} + Words(kOptions) + QStringList{"-o", Path("leased-out.avi")});
    QVERIFY(engine.waitForStarted());
    // The lease starts breaking when the engine's open reaches it.
    QTRY_VERIFY_WITH_TIMEOUT(::fcntl(fd, F_GETLEASE) != F_WRLCK, 20000);
    QVERIFY(engine.state() == QProcess::Running);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(engine.processId()), SIGTERM);
    // Far below the 45 s the open would wait; the figure itself is printed.
    QVERIFY(engine.waitForFinished(10000));
    qInfo("engine ended %lld ms after SIGTERM, its open still blocked", static_cast<long long>(clock.elapsed()));
    QCOMPARE(engine.exitStatus(), QProcess::NormalExit);
    QCOMPARE(engine.exitCode(), int(FailureCode::Stopped));
    QVERIFY(!QFile::exists(Path("leased-out.avi")));
}

// What went wrong, said of the user's file, not in the library's words.
void TestMencoderComplete::plainMessages_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<FailureCode>("code");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("never");
    QTest::newRow("raw video announcing 16384 x 16384")
        << "huge.y4m"
        << "huge.avi" << FailureCode::InputUnreadable << "too large to decode"
        << "busy";
    QTest::newRow("256-byte output name")
        << "whole.wav" << QString(252, 'n') + ".avi" << FailureCode::OutputNotWritable << "at most 255 bytes"
        << "could not be written";
    QTest::newRow("nine in ten pictures scrambled") << "scrambled.mp4"
                                                    << "scrambled.avi" << FailureCode::DecodeFailed << "damaged: "
                                                    << "cut short";
}

void TestMencoderComplete::plainMessages()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(FailureCode, code);
    QFETCH(QString, says);
    QFETCH(QString, never);
    QFile huge(Path("huge.y4m"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    huge.write("YUV4MPEG2 W16384 H16384 F25:1 Ip A1:1 C420jpeg\nFRAME\n" + QByteArray(100000, '\x40'));
    huge.close();
    // The file's structure stays whole: past its first tenth, the media data is noise.
    QFile whole(Path("index-first.mp4")), scrambled(Path("scrambled.mp4"));
    QVERIFY(whole.open(QIODevice::ReadOnly) && scrambled.open(QIODevice::WriteOnly));
    QByteArray bytes = whole.readAll();
    const qsizetype data = bytes.indexOf("mdat");
    quint32 noise = 1;
    for (qsizetype i = data + (bytes.size() - data) / 10; i < bytes.size(); ++i)
        bytes[i] = char((noise = noise * 1103515245u + 12345u) >> 16);
    scrambled.write(bytes);
    scrambled.close();
    const Outcome run = Convert(Path(input), Path(output));
    QVERIFY2(run.exitCode == int(code), qPrintable(QString("exit %1: %2").arg(run.exitCode).arg(run.err.constData())));
    QVERIFY2(run.err.contains(says.toUtf8()), run.err.constData());
    QVERIFY2(!run.err.contains(never.toUtf8()), run.err.constData());
}

QTEST_GUILESS_MAIN(TestMencoderComplete)
#include "tst_mencoder_complete.moc"
