// The whole road of one file as the application takes it: the job resolved from the
// settings, the builder's option text, the argument text with Base64 names, and the
// application's own engine link launching this engine. Every codec of the profiles must end
// in one finish report and a file ffmpeg decodes without errors.

#include "encode/encode_job.h"
#include "encode/encode_settings.h"
#include "encode/encoder_args_builder.h"
#include "engine/engine_process.h"
#include "engine/failure_codes.h"
#include "media_tools.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

using namespace testing;

namespace {

// Records what the engine reported; called on the channel's reader thread.
class Reports : public engine::EngineSink {
public:
    void EngineFailed(int code) override { failed = code; }
    void EngineFinishing(engine::FinishingAck ack) override { ack.Done(); }
    void EngineFinished(int code) override
    {
        ++finishes;
        result = code;
    }
    void EngineCreateFailed() override { createFailed = true; }
    void EngineConnected() override { connected = true; }
    void EngineConnectFailed() override {}
    void EngineEnded() override {}

    std::atomic<int> failed{-1};
    std::atomic<int> finishes{0};
    std::atomic<int> result{-1};
    std::atomic<bool> createFailed{false};
    std::atomic<bool> connected{false};
};

} // namespace

class TestMencoderApp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void profileCodecs_data();
    void profileCodecs();
    void starvedSource_data();
    void starvedSource();

private:
    void ConvertAsTheApp(bool hd, const QString &vcodec, const QString &acodec, const MediaFacts &facts,
                         const QString &input, const QString &output);

    QTemporaryDir m_dir;
};

void TestMencoderApp::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=480x270:rate=30:duration=2", "-f", "lavfi", "-i",
                    "sine=duration=2:sample_rate=48000", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                    m_dir.filePath("source clip é.mkv")}));
}

void TestMencoderApp::profileCodecs_data()
{
    QTest::addColumn<bool>("hd");
    QTest::addColumn<QString>("vcodec");
    QTest::addColumn<QString>("acodec");
    QTest::addColumn<QString>("expectVideo");
    QTest::addColumn<QString>("expectAudio");

    QTest::newRow("HD x264 faac") << true << "x264"
                                  << "faac"
                                  << "h264"
                                  << "aac";
    QTest::newRow("HD mpeg4 faac") << true << "mpeg4"
                                   << "faac"
                                   << "mpeg4"
                                   << "aac";
    QTest::newRow("HD dx50 faac") << true << "dx50"
                                  << "faac"
                                  << "mpeg4"
                                  << "aac";
    QTest::newRow("SD dx50 mp3lame") << false << "dx50"
                                     << "mp3lame"
                                     << "mpeg4"
                                     << "mp3";
    QTest::newRow("SD divx4 ac3") << false << "divx4"
                                  << "ac3"
                                  << "mpeg4"
                                  << "ac3";
    QTest::newRow("SD xvid mp2") << false << "xvid"
                                 << "mp2"
                                 << "mpeg4"
                                 << "mp2";
    QTest::newRow("SD mpeg4 mp3lame") << false << "mpeg4"
                                      << "mp3lame"
                                      << "mpeg4"
                                      << "mp3";
    QTest::newRow("SD msmpeg4v2 mp3lame") << false << "msmpeg4v2"
                                          << "mp3lame"
                                          << "msmpeg4v2"
                                          << "mp3";
    QTest::newRow("SD msmpeg4 mp3lame") << false << "msmpeg4"
                                        << "mp3lame"
                                        << "msmpeg4v3"
                                        << "mp3";
    QTest::newRow("SD flv mp3lame") << false << "flv"
                                    << "mp3lame"
                                    << "flv1"
                                    << "mp3";
}

void TestMencoderApp::profileCodecs()
{
    QFETCH(bool, hd);
    QFETCH(QString, vcodec);
    QFETCH(QString, acodec);
    const QString input = m_dir.filePath("source clip é.mkv");
    const QString output = m_dir.filePath(QString("out %1.%2").arg(QTest::currentDataTag()).arg(hd ? "mp4" : "avi"));
    MediaFacts facts;
    facts.Video.Width = 480;
    facts.Video.Height = 270;
    facts.Video.Format = "AVC";
    facts.Video.BitRate = 900000.0f;
    facts.Audio.Format = "AAC";
    ConvertAsTheApp(hd, vcodec, acodec, facts, input, output);
    if (QTest::currentTestFailed())
        return;
    const QJsonObject probe = Probe(output);
    QTEST(Stream(probe, "video")["codec_name"].toString(), "expectVideo");
    QTEST(Stream(probe, "audio")["codec_name"].toString(), "expectAudio");
    QCOMPARE(Stream(probe, "video")["width"].toInt(), hd ? 1280 : 720);
    QCOMPARE(DecodeErrors(output), QByteArray());
}

// A screen recording of a few kbit/s: kept at its own rate it would come out flat grey; the
// profile's floor keeps every profile's output close to it.
void TestMencoderApp::starvedSource_data()
{
    QTest::addColumn<bool>("hd");
    QTest::addColumn<QString>("vcodec");
    QTest::addColumn<QString>("acodec");
    QTest::addColumn<QString>("geometry"); // the source brought to the output's picture
    // SD pictures are written with the SD colour matrix.
    const QString sd = "scale=852:480:flags=bicubic:in_color_matrix=bt709:out_color_matrix=bt601,crop=720:480";
    QTest::newRow("HD") << true << "x264"
                        << "faac"
                        << "scale=1280:720:flags=bicubic";
    QTest::newRow("SD") << false << "dx50"
                        << "mp3lame" << sd;
    QTest::newRow("SD with x264") << false << "x264"
                                  << "mp3lame" << sd;
}

void TestMencoderApp::starvedSource()
{
    QFETCH(bool, hd);
    QFETCH(QString, vcodec);
    QFETCH(QString, acodec);
    QFETCH(QString, geometry);
    const QString input = m_dir.filePath("screen recording.mp4");
    if (!QFile::exists(input)) {
        // A picture that changes every five seconds, repeated at 30 fps as a recorder does.
        QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=1280x720:rate=0.2:duration=10", "-vf", "fps=30", "-c:v",
                        "libx264", "-crf", "30", "-g", "900", "-pix_fmt", "yuv420p", input}));
    }
    MediaFacts facts;
    facts.Video.Width = 1280;
    facts.Video.Height = 720;
    facts.Video.Format = "AVC";
    facts.Video.BitRate = float(Number(Stream(Probe(input), "video"), "bit_rate"));
    QVERIFY2(facts.Video.BitRate < 30000.0f, qPrintable(QString::number(facts.Video.BitRate)));
    const QString output =
        m_dir.filePath(QString("starved %1.%2").arg(QTest::currentDataTag()).arg(hd ? "mp4" : "avi"));
    ConvertAsTheApp(hd, vcodec, acodec, facts, input, output);
    if (QTest::currentTestFailed())
        return;
    const double psnr = Psnr(output, input, geometry);
    qInfo("%s: %.1f dB", QTest::currentDataTag(), psnr);
    QVERIFY2(psnr >= 30.0, qPrintable(QString::number(psnr)));
}

// The job resolved from the profile, the builder's text and the application's engine link,
// up to the engine's one finish report.
void TestMencoderApp::ConvertAsTheApp(bool hd, const QString &vcodec, const QString &acodec, const MediaFacts &facts,
                                      const QString &input, const QString &output)
{
    EncodeSettings settings;
    settings.SetDefaults(hd);
    settings.Multicore = true;
    (hd ? settings.HDVCodec : settings.SDVCodec) = vcodec;
    (hd ? settings.HDACodec : settings.SDACodec) = acodec;
    EncodeJob job;
    job.SourceExt = SourceExtOf(input);
    job.Facts = facts;
    ResolveJob(settings, hd, job);
    const std::string options = EncoderArgsBuilder(2).Build(job);
    const EngineArguments args = MakeEngineArguments(options, input, output);
    QVERIFY(args.ok());

    Reports reports;
    engine::StatusCopy status;
    engine::EngineProcess process;
    process.Attach(&reports, &status);
    QVERIFY2(process.Launch(engine::ControlRecord{}, args.text), args.text.c_str());
    QTRY_VERIFY_WITH_TIMEOUT(reports.connected, 30000);
    QVERIFY(process.Start());
    QElapsedTimer t;
    t.start();
    while (reports.finishes == 0 && reports.failed < 0 && t.elapsed() < 120000)
        QTest::qWait(20);
    process.Stop();

    QVERIFY2(reports.failed < 0,
             qPrintable(QString("failure code %1 for %2").arg(reports.failed).arg(options.c_str())));
    QCOMPARE(reports.finishes.load(), 1);
    QCOMPARE(reports.result.load(), 0);
    QCOMPARE(status.Load().Percent, 100);
}

QTEST_GUILESS_MAIN(TestMencoderApp)
#include "tst_mencoder_app.moc"
