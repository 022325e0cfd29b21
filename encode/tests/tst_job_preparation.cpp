#include "encode/job_preparation.h"
#include "probe/media_probe.h"
#include "../../probe/tests/test_media.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

EncodeSettings Defaults()
{
    EncodeSettings s;
    s.SetDefaults(true);
    return s;
}

EncodeJob WithBitRate(float bitsPerSecond)
{
    EncodeJob job;
    job.Facts.Video.BitRate = bitsPerSecond;
    return job;
}

} // namespace

class TstJobPreparation : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(MakeMedia(TestVideoInput() + TestAudioInput()
                          + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-b:v", "300k", "-c:a", "aac",
                                        m_dir.filePath("Clip é.mkv")}));
        QVERIFY(MakeMedia(TestVideoInput() + QStringList{"-c:v", "flv", m_dir.filePath("clip.flv")}));
    }

    void videoBitRate_data()
    {
        QTest::addColumn<bool>("hdMode");
        QTest::addColumn<float>("sourceBitRate");
        QTest::addColumn<int>("expected");
        QTest::newRow("HD unknown rate") << true << 0.0f << 5000;
        QTest::newRow("SD unknown rate") << false << 0.0f << 1200;
        QTest::newRow("SD 800 kbit/s keeps its own") << false << 800000.0f << 800;
        QTest::newRow("SD 1500 kbit/s capped") << false << 1500000.0f << 1200;
        QTest::newRow("SD at the ceiling") << false << 1200000.0f << 1200;
        QTest::newRow("999 bit/s is 0 kbit/s") << true << 999.0f << 5000;
        QTest::newRow("HD starved source raised to the floor") << true << 9000.0f << kHdVideoFloorKbps;
        QTest::newRow("SD starved source raised to the floor") << false << 9000.0f << kSdVideoFloorKbps;
        QTest::newRow("just above the floor keeps its own") << true << 101000.0f << 101;
        QTest::newRow("fraction truncated") << true << 4999999.0f << 4999;
        QTest::newRow("negative") << true << -800000.0f << 5000;
        QTest::newRow("infinite") << true << std::numeric_limits<float>::infinity() << 5000;
        QTest::newRow("NaN") << true << std::numeric_limits<float>::quiet_NaN() << 5000;
    }

    void videoBitRate()
    {
        QFETCH(bool, hdMode);
        QFETCH(float, sourceBitRate);
        QFETCH(int, expected);
        EncodeJob job = WithBitRate(sourceBitRate);
        ResolveJob(Defaults(), hdMode, job);
        QCOMPARE(job.VBitrate, expected);
    }

    void profiles()
    {
        EncodeSettings s = Defaults();
        // Remembered values that jobs must not use.
        s.VWidth = 1920;
        s.VHeight = 1080;
        s.VFps = 60.0f;
        s.ABitrate = 320;
        s.ASamplerate = 48000;
        s.Vol = 6;
        s.SDVCodec = "xvid";
        s.Multicore = true;

        EncodeJob hd;
        hd.Facts.Video.Width = 1920;
        hd.Facts.Video.Height = 1080;
        ResolveJob(s, true, hd);
        QCOMPARE(hd.Format, QStringLiteral("MP4"));
        QCOMPARE(hd.VCodec, QStringLiteral("x264"));
        QCOMPARE(hd.ACodec, QStringLiteral("faac"));
        QCOMPARE(hd.VWidth, 1280);
        QCOMPARE(hd.VHeight, 720);
        QCOMPARE(hd.SrcWidth, 1920u);
        QCOMPARE(hd.SrcHeight, 1080u);
        QCOMPARE(hd.VFps, 30.0f);
        QCOMPARE(hd.ABitrate, 128);
        QCOMPARE(hd.ASamplerate, 44100);
        QCOMPARE(hd.Vol, 0);
        QCOMPARE(hd.SourceFps, 23.976f);
        QVERIFY(hd.Multicore);

        EncodeJob sd;
        ResolveJob(s, false, sd);
        QCOMPARE(sd.Format, QStringLiteral("AVI"));
        QCOMPARE(sd.VCodec, QStringLiteral("xvid"));
        QCOMPARE(sd.ACodec, QStringLiteral("mp3lame"));
        QCOMPARE(sd.VWidth, 720);
        QCOMPARE(sd.VHeight, 480);
        const std::string options = EncoderArgsBuilder(2).Build(sd);
        QVERIFY(options.find(",-ovc,xvid,-xvidencopts,max_bframes=0:bitrate=1200,-oac,mp3lame,-lameopts,br=128:cbr")
                != std::string::npos);
        QVERIFY(options.find("-ofps,30,") != std::string::npos);
    }

    void sourceExtension_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("ext");
        QTest::newRow("flv") << "/v/clip.flv"
                             << "FLV";
        QTest::newRow("mixed case") << "/v/clip.Mp4"
                                    << "MP4";
        QTest::newRow("last dot") << "/v/a.b.mkv"
                                  << "MKV";
        QTest::newRow("no dot") << "/v/clip"
                                << "";
        QTest::newRow("dot in folder only") << "/v.d/clip"
                                            << "";
        QTest::newRow("only dot first") << "/v/.mp4"
                                        << "";
        QTest::newRow("trailing dot") << "/v/clip."
                                      << "";
        QTest::newRow("long cut to nine") << "/v/clip.abcdefghijkl"
                                          << "ABCDEFGHI";
        QTest::newRow("non-ASCII") << "/v/clip.vidéo"
                                   << "VIDÉO";
    }

    void sourceExtension()
    {
        QFETCH(QString, path);
        QFETCH(QString, ext);
        QCOMPARE(SourceExtOf(path), ext);
    }

    void preparesRealFile()
    {
        const QString in = m_dir.filePath("Clip é.mkv");
        const QString out = m_dir.filePath("out/Clip é.mp4");
        const PreparedJob prepared = PrepareJob(Defaults(), true, ProbeMediaFacts(in), in, out, 4);
        QVERIFY(prepared.ok());
        QCOMPARE(prepared.job.SourceExt, QStringLiteral("MKV"));
        QCOMPARE(prepared.job.SrcWidth, 160u);
        QCOMPARE(prepared.job.Facts.Video.Format, QStringLiteral("AVC"));
        QCOMPARE(prepared.job.VBitrate, 300); // encoded at 300 kbit/s, below the ceiling
        QCOMPARE(QString::fromStdString(prepared.options),
                 QString::fromStdString(
                     std::string("-mc,0,-demuxer,mkv,-ofps,30,-vf,scale=960:720,-vf-add,expand=1280:720,"
                                 "-vf-add,harddup,-vf-add,crop=1280:720,-af,volume=0:1,-srate,44100,"
                                 "-ovc,x264,-x264encopts,bitrate=300:global_header:level_idc=30:subq=1,"
                                 "-oac,faac,-faacopts,mpeg=4:object=2:raw:br=128,-of,lavf,-lavfopts,format=mp4,"
                                 "-lavdopts threads=4,-avthread,-videofilterthread")));
        QVERIFY(prepared.arguments.text.starts_with(" \""));
        QVERIFY(prepared.arguments.text.find(" -o \"") != std::string::npos);
    }

    void flvWithoutAudio()
    {
        const QString flv = m_dir.filePath("clip.flv");
        const PreparedJob prepared =
            PrepareJob(Defaults(), false, ProbeMediaFacts(flv), flv, m_dir.filePath("clip.avi"), 2);
        QVERIFY(prepared.ok());
        QCOMPARE(prepared.job.Facts.Video.Format, QStringLiteral("Sorenson Spark"));
        QVERIFY(!prepared.job.UseAVThreads); // no audio track
        // Without audio MediaInfo reckons the video rate from the file: below the SD ceiling.
        const int kbps = int(prepared.job.Facts.Video.BitRate / 1000);
        QVERIFY(kbps > 0 && kbps < 1200);
        QCOMPARE(prepared.job.VBitrate, kbps);
        QCOMPARE(
            QString::fromStdString(prepared.options),
            QString::fromStdString(std::string("-mc,0,-fps,23.976,-ofps,30,-vf,scale=640:480,-vf-add,expand=720:480,"
                                               "-vf-add,harddup,-vf-add,crop=720:480,-af,volume=0:1,-srate,44100,"
                                               "-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate="
                                               + std::to_string(kbps)
                                               + ",-ffourcc,DX50,"
                                                 "-oac,mp3lame,-lameopts,br=128:cbr")));
    }

    // Without MediaInfo the file still converts, at the ceiling and the output size.
    void withoutLibrary()
    {
        MediaInfoLibrary missing(m_dir.filePath("none/libmediainfo.so.0").toStdString());
        const PreparedJob prepared =
            PrepareJob(Defaults(), true, ProbeMediaFacts(m_dir.filePath("Clip é.mkv"), missing),
                       m_dir.filePath("Clip é.mkv"), m_dir.filePath("x.mp4"), 4);
        QVERIFY(prepared.ok());
        QCOMPARE(prepared.job.Facts, MediaFacts());
        QCOMPARE(prepared.job.VBitrate, 5000);
        QCOMPARE(prepared.job.SrcWidth, 0u);
        QVERIFY(prepared.options.find("-vf,scale=1280:720,") != std::string::npos);
        QVERIFY(prepared.options.find("avthread") == std::string::npos);
        QVERIFY(prepared.options.find("lavdopts") == std::string::npos);
    }

    // A path whose Base64 name cannot fit fails the job instead of giving the engine no name.
    void overlongPathFails()
    {
        const QString longName = m_dir.filePath(QString(400, QLatin1Char('n')) + ".mkv");
        const PreparedJob prepared = PrepareJob(Defaults(), true, MediaFacts(), longName, m_dir.filePath("x.mp4"), 2);
        QVERIFY(!prepared.ok());
        QCOMPARE(prepared.arguments.error, EngineArgsError::InputNameTooLong);
        QVERIFY(prepared.arguments.text.empty());
    }
};

QTEST_GUILESS_MAIN(TstJobPreparation)
#include "tst_job_preparation.moc"
