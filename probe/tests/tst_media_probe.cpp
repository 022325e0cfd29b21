#include "platform/native_name.h"
#include "probe/media_probe.h"
#include "probe/media_prober.h"
#include "probe/number_text.h"
#include "test_media.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TstMediaProbe : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    static QString RawName() { return platform::NameFromNative("caf\xe9.mp4"); }

    bool Make(const QString &name, const QStringList &args) { return MakeMedia(args + QStringList{Path(name)}); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QStringList v = TestVideoInput();
        const QStringList a = TestAudioInput();
        const QStringList x264 = {"-c:v", "libx264", "-preset", "ultrafast"};
        QVERIFY(Make("h264aac.mp4", v + a + x264 + QStringList{"-b:v", "300k", "-c:a", "aac"}));
        // Frame gaps alternate between 130 and 70 ms.
        QVERIFY(Make("vfr.mp4", v
                                    + QStringList{"-vf", "settb=1/1000,setpts='(N*0.1+mod(N,2)*0.03)/TB'",
                                                  "-enc_time_base", "1/1000", "-fps_mode", "passthrough", "-an"}
                                    + x264));
        QVERIFY(Make("h264aac.mkv", v + a + x264 + QStringList{"-c:a", "aac"}));
        QVERIFY(Make("spark.flv", v + a + QStringList{"-c:v", "flv", "-c:a", "libmp3lame", "-ar", "44100"}));
        QVERIFY(Make("mpeg4aac.mov", v + a + QStringList{"-c:v", "mpeg4", "-c:a", "aac"}));
        QVERIFY(Make("tone.mp3", a + QStringList{"-c:a", "libmp3lame"}));
        QVERIFY(Make("silent.mp4", v + x264 + QStringList{"-an"}));
        // First track MP3, second AAC: only the first may show.
        QVERIFY(Make("twoaudio.mp4", v + a + QStringList{"-map", "0:v", "-map", "1:a", "-map", "1:a"} + x264
                                         + QStringList{"-c:a:0", "libmp3lame", "-c:a:1", "aac"}));
        QVERIFY(Make("brand.mp4", v + x264 + QStringList{"-an", "-brand", "mp42"}));
        // MediaInfo would open the name through the locale and lose the byte that is no UTF-8.
        QVERIFY(::link(QFile::encodeName(Path("h264aac.mp4")), platform::NativeName(Path(RawName()))) == 0);

        QFile text(Path("notes.mp4"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("This is not a movie, only text that ends in .mp4\n");
        text.close();
        QFile empty(Path("empty.mp4"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();

        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("dir with spaces")));
        QVERIFY(QFile::copy(Path("h264aac.mp4"), Path(QStringLiteral("dir with spaces/Vidéo ünï 名前 (1).mp4"))));
    }

    void realFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("codecId");
        QTest::addColumn<QString>("videoFormat");
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::addColumn<QString>("frameRateMode");
        QTest::addColumn<bool>("hasVideoBitRate");
        QTest::addColumn<QString>("audioFormat");

        QTest::newRow("H.264/AAC MP4") << "h264aac.mp4"
                                       << "ISOM"
                                       << "AVC" << 160u << 120u << "CFR" << true << "AAC";
        QTest::newRow("VFR MP4") << "vfr.mp4"
                                 << "ISOM"
                                 << "AVC" << 160u << 120u << "VFR" << true << "";
        QTest::newRow("MKV") << "h264aac.mkv"
                             << ""
                             << "AVC" << 160u << 120u << "CFR" << false << "AAC";
        QTest::newRow("FLV") << "spark.flv"
                             << ""
                             << "Sorenson Spark" << 160u << 120u << "CFR" << false << "MPEG Audio";
        QTest::newRow("MOV") << "mpeg4aac.mov"
                             << "QT"
                             << "MPEG-4 Visual" << 160u << 120u << "CFR" << true << "AAC";
        QTest::newRow("audio-only MP3") << "tone.mp3"
                                        << ""
                                        << "" << 0u << 0u << "" << false << "MPEG Audio";
        QTest::newRow("video without audio") << "silent.mp4"
                                             << "ISOM"
                                             << "AVC" << 160u << 120u << "CFR" << true << "";
        QTest::newRow("two audio tracks") << "twoaudio.mp4"
                                          << "ISOM"
                                          << "AVC" << 160u << 120u << "CFR" << true << "MPEG Audio";
        QTest::newRow("name that is no UTF-8") << RawName() << "ISOM"
                                               << "AVC" << 160u << 120u << "CFR" << true << "AAC";
        QTest::newRow("mp42 brand") << "brand.mp4"
                                    << "MP42"
                                    << "AVC" << 160u << 120u << "CFR" << true << "";
    }

    void realFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, codecId);
        QFETCH(QString, videoFormat);
        QFETCH(uint, width);
        QFETCH(uint, height);
        QFETCH(QString, frameRateMode);
        QFETCH(bool, hasVideoBitRate);
        QFETCH(QString, audioFormat);

        const MediaFacts f = ProbeMediaFacts(Path(file));
        QCOMPARE(f.General.CodecID, codecId); // the major brand, upper-cased
        QCOMPARE(f.Video.Format, videoFormat);
        QCOMPARE(f.Video.Width, width);
        QCOMPARE(f.Video.Height, height);
        QCOMPARE(f.Video.FrameRate_Mode, frameRateMode);
        // Tiny test files carry a few hundred kbit/s at most.
        if (hasVideoBitRate)
            QVERIFY2(f.Video.BitRate > 1000.0f && f.Video.BitRate < 5e6f, qPrintable(QString::number(f.Video.BitRate)));
        else
            QCOMPARE(f.Video.BitRate, 0.0f);
        QCOMPARE(f.Video.MuxingMode, QString());
        QCOMPARE(f.Audio.Format, audioFormat);
        QCOMPARE(f.Audio.MuxingMode, QString());
    }

    // Whatever MediaInfo cannot open leaves every fact absent.
    void unreadableFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("text named .mp4") << "notes.mp4";
        QTest::newRow("zero bytes") << "empty.mp4";
        QTest::newRow("missing") << "no such file.mp4";
        QTest::newRow("folder") << "dir with spaces";
    }

    void unreadableFiles()
    {
        QFETCH(QString, file);
        QCOMPARE(ProbeMediaFacts(Path(file)), MediaFacts());
    }

    void nonAsciiPath()
    {
        const QString awkward = Path(QStringLiteral("dir with spaces/Vidéo ünï 名前 (1).mp4"));
        const MediaFacts f = ProbeMediaFacts(awkward);
        QCOMPARE(f.Video.Format, QStringLiteral("AVC"));
        QCOMPARE(f.Video.Width, 160u);
        QCOMPARE(f.Audio.Format, QStringLiteral("AAC"));
        QCOMPARE(f, ProbeMediaFacts(Path("h264aac.mp4")));

        // The same on the prober's own thread, as a run probes, with quotes in a name too.
        const QString quoted = Path(QStringLiteral("it's \"quoted\".mp4"));
        QVERIFY(QFile::copy(Path("h264aac.mp4"), quoted) || QFile::exists(quoted));
        MediaProber prober;
        QList<MediaRecord> records;
        connect(&prober, &MediaProber::probed, this, [&](int, const MediaRecord &r) { records << r; });
        prober.Probe({awkward, quoted});
        QTRY_COMPARE(records.size(), 2);
        for (const MediaRecord &r : records) {
            QCOMPARE(r.facts, f);
            QCOMPARE(r.length.width, 160);
            QVERIFY(r.length.seconds > 0.4 && r.length.seconds < 0.6);
        }
    }

    void numberTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("asInt");
        QTest::addColumn<double>("asDouble");
        QTest::newRow("plain") << "1920" << 1920 << 1920.0;
        QTest::newRow("bit rate") << "800" << 800 << 800.0;
        QTest::newRow("empty") << "" << 0 << 0.0;
        QTest::newRow("no digits") << "abc" << 0 << 0.0;
        QTest::newRow("blanks and sign") << "  -12x" << -12 << -12.0;
        QTest::newRow("plus") << "+7" << 7 << 7.0;
        QTest::newRow("fraction") << "25.000" << 25 << 25.0;
        QTest::newRow("exponent") << "1.5e3 kb/s" << 1 << 1500.0;
        QTest::newRow("bare exponent") << "3e" << 3 << 3.0;
        QTest::newRow("leading dot") << ".5" << 0 << 0.5;
        QTest::newRow("lone dot") << "." << 0 << 0.0;
        QTest::newRow("list of rates") << "1200 / 800" << 1200 << 1200.0;
        QTest::newRow("overflow saturates") << "99999999999" << 2147483647 << 99999999999.0;
        QTest::newRow("no inf") << "inf" << 0 << 0.0;
    }

    void numberTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, asInt);
        QFETCH(double, asDouble);
        QCOMPARE(ParseIntPrefix(text), asInt);
        QCOMPARE(ParseDoublePrefix(text), asDouble);
    }
};

QTEST_GUILESS_MAIN(TstMediaProbe)
#include "tst_media_probe.moc"
