// The engine's reading of the argument text: every row the application's builder writes,
// refusals with their codes, the Base64 names, and the picture geometry of the filter chain.

#include "encoder/arguments.h"
#include "encoder/h264_level.h"
#include "encoder/video_chain.h"

#include <QStringList>
#include <QTest>

using engine::FailureCode;
using mencoder::EncodeOptions;
using mencoder::ParseArguments;

Q_DECLARE_METATYPE(FailureCode)

namespace {

std::vector<std::string> Args(const QString &text)
{
    std::vector<std::string> out;
    for (const QString &a : text.split(' ', Qt::SkipEmptyParts))
        out.push_back(a.toStdString());
    return out;
}

QString Pairs(const mencoder::OptionPairs &pairs)
{
    QStringList out;
    for (const auto &[k, v] : pairs)
        out << QString::fromStdString(k + "=" + v);
    return out.join(' ');
}

const QString kCommon = "in.mkv -mc 0 -ofps 30 -vf scale=1280:720 -vf-add expand=1280:720 -vf-add harddup "
                        "-vf-add crop=1280:720 -af volume=0:1 -srate 44100 ";

} // namespace

class TestMencoderArgs : public QObject {
    Q_OBJECT
private slots:
    void workedExample();
    void codecRows_data();
    void codecRows();
    void refusals_data();
    void refusals();
    void wideNames();
    void badWideNames_data();
    void badWideNames();
    void fitSize_data();
    void fitSize();
    void chainGeometry_data();
    void chainGeometry();
    void h264Level_data();
    void h264Level();
};

// The builder's HD text for an H.264 MKV on four processors, as the engine receives it.
void TestMencoderArgs::workedExample()
{
    const QString text = " \"aQBuAC4AbQBrAHYA\" -mc 0 -demuxer mkv -ofps 30 -vf scale=1280:720 -vf-add expand=1280:720 "
                         "-vf-add harddup -vf-add crop=1280:720 -af volume=0:1 -srate 44100 -ovc x264 "
                         "-x264encopts bitrate=5000:global_header:level_idc=30:subq=1:threads=auto -oac faac "
                         "-faacopts mpeg=4:object=2:raw:br=128 -of lavf -lavfopts format=mp4 -lavdopts threads=4 "
                         "-avthread -videofilterthread -o \"bwB1AHQALgBtAHAANAA=\" -wchar -pipename=3";
    // The application's process layer strips the quotes as Windows splitting does.
    const auto result = ParseArguments(Args(QString(text).remove('"')));
    QVERIFY2(result.options, result.message.c_str());
    // Quotes left on the names by a caller change nothing.
    const auto quoted = ParseArguments(Args(text));
    QVERIFY2(quoted.options, quoted.message.c_str());
    QCOMPARE(quoted.options->input, std::string("in.mkv"));
    const EncodeOptions &o = *result.options;
    QCOMPARE(o.input, std::string("in.mkv"));
    QCOMPARE(o.output, std::string("out.mp4"));
    QCOMPARE(o.pipeNumber, 3);
    QCOMPARE(o.demuxer, std::string("matroska"));
    QCOMPARE(o.outputFps, 30.0);
    QCOMPARE(o.videoFilters.size(), std::size_t(4));
    QCOMPARE(o.video.name, std::string("libx264"));
    QCOMPARE(o.video.bitRate, std::int64_t(5'000'000));
    QCOMPARE(o.video.level, 30);
    QVERIFY(o.video.globalHeader);
    QCOMPARE(o.video.threads, 0);
    QCOMPARE(Pairs(o.video.options), QString("x264-params=subme=1"));
    QCOMPARE(o.audio.name, std::string("aac"));
    QCOMPARE(o.audio.profile, 1); // AAC low complexity
    QCOMPARE(o.audio.bitRate, std::int64_t(128'000));
    QCOMPARE(o.sampleRate, 44100);
    QCOMPARE(o.volumeDb, 0.0);
    QCOMPARE(o.container, std::string("mp4"));
    QCOMPARE(o.decodeThreads, 4);
    QVERIFY(o.decodeThread && o.filterThread && !o.encodeThread);
}

void TestMencoderArgs::codecRows_data()
{
    QTest::addColumn<QString>("codecs");
    QTest::addColumn<QString>("video");
    QTest::addColumn<qint64>("vbitrate");
    QTest::addColumn<QString>("voptions");
    QTest::addColumn<bool>("vglobal");
    QTest::addColumn<QString>("fourcc");
    QTest::addColumn<QString>("audio");
    QTest::addColumn<qint64>("abitrate");
    QTest::addColumn<QString>("container");

    const QString mp3 = " -oac mp3lame -lameopts br=128:cbr";
    QTest::newRow("xvid") << "-ovc xvid -xvidencopts max_bframes=0:bitrate=1200" + mp3 << "libxvid" << qint64(1'200'000)
                          << "bf=0" << false << ""
                          << "libmp3lame" << qint64(128'000) << "avi";
    QTest::newRow("divx4") << "-ovc lavc -lavcopts vcodec=mpeg4:vbitrate=1200 -ffourcc DIVX" + mp3 << "mpeg4"
                           << qint64(1'200'000) << "" << false << "DIVX"
                           << "libmp3lame" << qint64(128'000) << "avi";
    QTest::newRow("dx50") << "-ovc lavc -lavcopts vcodec=mpeg4:vbitrate=800 -ffourcc DX50" + mp3 << "mpeg4"
                          << qint64(800'000) << "" << false << "DX50"
                          << "libmp3lame" << qint64(128'000) << "avi";
    QTest::newRow("mpeg4 hd")
        << "-ovc lavc -lavcopts vcodec=mpeg4:vbitrate=5000:threads=2:aglobal=1:vglobal=1 "
           "-ffourcc mp4v -oac faac -faacopts mpeg=4:object=2:raw:br=128 -of lavf -lavfopts format=mp4"
        << "mpeg4" << qint64(5'000'000) << "" << true << "mp4v"
        << "aac" << qint64(128'000) << "mp4";
    QTest::newRow("msmpeg4v2, ac3") << "-ovc lavc -lavcopts vcodec=msmpeg4v2:vbitrate=1200 -oac lavc "
                                       "-lavcopts acodec=ac3:abitrate=128"
                                    << "msmpeg4v2" << qint64(1'200'000) << "" << false << ""
                                    << "ac3" << qint64(128'000) << "avi";
    QTest::newRow("msmpeg4, mp2") << "-ovc lavc -lavcopts vcodec=msmpeg4:vbitrate=1200 -ffourcc mp43 -oac lavc "
                                     "-lavcopts acodec=mp2:abitrate=128"
                                  << "msmpeg4" << qint64(1'200'000) << "" << false << "mp43"
                                  << "mp2" << qint64(128'000) << "avi";
    QTest::newRow("flv, second lavcopts")
        << "-ovc lavc -lavcopts vcodec=flv:vbitrate=1200 -ffourcc flv1 "
           "-lavcopts mbd=2:mv0:trell:v4mv:cbp:last_pred=3"
               + mp3
        << "flv" << qint64(1'200'000) << "mbd=2 mpv_flags=+mv0+cbp_rd trellis=1 flags=+mv4 last_pred=3" << false
        << "flv1"
        << "libmp3lame" << qint64(128'000) << "avi";
    QTest::newRow("codec name case kept by the builder")
        << "-ovc lavc -lavcopts vcodec=MPEG4:vbitrate=1200" + mp3 << "mpeg4" << qint64(1'200'000) << "" << false << ""
        << "libmp3lame" << qint64(128'000) << "avi";
    QTest::newRow("bit rate in bit/s") << "-ovc lavc -lavcopts vcodec=mpeg4:vbitrate=800000" + mp3 << "mpeg4"
                                       << qint64(800'000) << "" << false << ""
                                       << "libmp3lame" << qint64(128'000) << "avi";
}

void TestMencoderArgs::codecRows()
{
    QFETCH(QString, codecs);
    const auto result = ParseArguments(Args(kCommon + codecs + " -o out"));
    QVERIFY2(result.options, result.message.c_str());
    const EncodeOptions &o = *result.options;
    QTEST(QString::fromStdString(o.video.name), "video");
    QTEST(qint64(o.video.bitRate), "vbitrate");
    QTEST(Pairs(o.video.options), "voptions");
    QTEST(o.video.globalHeader, "vglobal");
    QTEST(QString::fromStdString(o.fourcc), "fourcc");
    QTEST(QString::fromStdString(o.audio.name), "audio");
    QTEST(qint64(o.audio.bitRate), "abitrate");
    QTEST(QString::fromStdString(o.container), "container");
}

void TestMencoderArgs::refusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<FailureCode>("code");
    const QString x264 = "-ovc x264 -x264encopts bitrate=5000 ";
    QTest::newRow("unknown option") << "in.mkv -nosound " + x264 + "-o out" << FailureCode::UnknownOption;
    QTest::newRow("unknown x264 option") << "in.mkv -ovc x264 -x264encopts bitrate=5000:psy_rd=1 -o out"
                                         << FailureCode::UnknownOption;
    QTest::newRow("unknown lavc option") << "in.mkv -ovc lavc -lavcopts vcodec=mpeg4:vqmin=2 -o out"
                                         << FailureCode::UnknownOption;
    QTest::newRow("unknown video filter") << "in.mkv -vf rotate=1 " + x264 + "-o out" << FailureCode::UnknownOption;
    QTest::newRow("unknown audio filter")
        << "in.mkv -af lavcresample=44100 " + x264 + "-o out" << FailureCode::UnknownOption;
    QTest::newRow("unknown video encoder") << "in.mkv -ovc copy -o out" << FailureCode::BadOptionValue;
    QTest::newRow("unknown audio encoder") << "in.mkv " + x264 + "-oac pcm -o out" << FailureCode::BadOptionValue;
    QTest::newRow("unknown lavc codec") << "in.mkv -ovc lavc -lavcopts vcodec=vp9 -o out"
                                        << FailureCode::BadOptionValue;
    QTest::newRow("lavc without vcodec") << "in.mkv -ovc lavc -lavcopts vbitrate=800 -o out"
                                         << FailureCode::BadOptionValue;
    QTest::newRow("unknown demuxer") << "in.mkv -demuxer avi " + x264 + "-o out" << FailureCode::BadOptionValue;
    QTest::newRow("rate not a number") << "in.mkv -ofps thirty " + x264 + "-o out" << FailureCode::BadOptionValue;
    QTest::newRow("negative bit rate") << "in.mkv -ovc x264 -x264encopts bitrate=-5 -o out"
                                       << FailureCode::BadOptionValue;
    QTest::newRow("scale without height") << "in.mkv -vf scale=1280 " + x264 + "-o out" << FailureCode::BadOptionValue;
    QTest::newRow("fourcc of five") << "in.mkv -ffourcc DX500 " + x264 + "-o out" << FailureCode::BadOptionValue;
    QTest::newRow("odd container") << "in.mkv -of lavf -lavfopts format=gif " + x264 + "-o out"
                                   << FailureCode::BadOptionValue;
    QTest::newRow("no output") << "in.mkv " + x264 << FailureCode::BadArguments;
    QTest::newRow("no input") << x264 + "-o out" << FailureCode::BadArguments;
    QTest::newRow("two inputs") << "a.mkv b.mkv " + x264 + "-o out" << FailureCode::BadArguments;
    QTest::newRow("value missing at the end") << "in.mkv " + x264 + "-o" << FailureCode::BadArguments;
    QTest::newRow("names not Base64") << "in.mkv " + x264 + "-o out -wchar" << FailureCode::BadArguments;
}

void TestMencoderArgs::refusals()
{
    QFETCH(QString, text);
    const auto result = ParseArguments(Args(text));
    QVERIFY(!result.options);
    QTEST(result.code, "code");
    QVERIFY(!result.message.empty());
}

void TestMencoderArgs::wideNames()
{
    QCOMPARE(mencoder::EncodeWideName("a.mp4"), std::string("YQAuAG0AcAA0AA=="));
    // é (two bytes of UTF-8), 日 (three), and an emoji that needs a UTF-16 surrogate pair.
    QCOMPARE(mencoder::EncodeWideName("é日😀"), std::string("6QDlZT3YAN4="));
    QCOMPARE(mencoder::DecodeWideName("6QDlZT3YAN4=").value_or("?"), std::string("é日😀"));
    const std::string nasty = "/tmp/Ünïcode \"quoted\" name's, 100%.mkv";
    QCOMPARE(mencoder::DecodeWideName(mencoder::EncodeWideName(nasty)).value_or("?"), nasty);
    for (std::size_t n = 1; n < 8; ++n) { // every fill length
        const std::string s(n, 'x');
        QCOMPARE(mencoder::DecodeWideName(mencoder::EncodeWideName(s)).value_or("?"), s);
    }
}

void TestMencoderArgs::badWideNames_data()
{
    QTest::addColumn<QString>("base64");
    QTest::newRow("empty") << "";
    QTest::newRow("length not a multiple of four") << "YQAuAG0AcAA0AA=";
    QTest::newRow("character outside the alphabet") << "YQAu*G0AcAA0AA==";
    QTest::newRow("fill in the middle") << "YQ==YQAu";
    QTest::newRow("odd byte count") << "YQBi";
    QTest::newRow("lone high surrogate") << "PdhhAA==";       // D83D then 'a'
    QTest::newRow("lone low surrogate") << "AN4=";            // DE00
    QTest::newRow("low surrogate below the bytes") << "f9w="; // DC7F: U+DC80..U+DCFF alone carry a byte
    QTest::newRow("embedded zero") << "YQAAAGEA";
}

void TestMencoderArgs::badWideNames()
{
    QFETCH(QString, base64);
    const auto decoded = mencoder::DecodeWideName(base64.toStdString());
    QVERIFY(!decoded || decoded->empty());
}

void TestMencoderArgs::fitSize_data()
{
    QTest::addColumn<int>("srcW");
    QTest::addColumn<int>("srcH");
    QTest::addColumn<int>("outW");
    QTest::addColumn<int>("outH");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::newRow("5:4 into SD") << 720 << 576 << 720 << 480 << 720 << 576;
    QTest::newRow("16:9 into SD") << 1280 << 720 << 720 << 480 << 852 << 480;
    QTest::newRow("3:2 into HD") << 720 << 480 << 1280 << 720 << 1080 << 720;
    QTest::newRow("4:3 counts as wide") << 640 << 480 << 1280 << 720 << 960 << 720;
    QTest::newRow("2.39:1 into HD") << 1920 << 804 << 1280 << 720 << 1718 << 720;
    QTest::newRow("portrait into HD") << 1080 << 1920 << 1280 << 720 << 1280 << 2274;
    QTest::newRow("unknown size") << 0 << 0 << 1280 << 720 << 1280 << 720;
}

void TestMencoderArgs::fitSize()
{
    QFETCH(int, srcW);
    QFETCH(int, srcH);
    QFETCH(int, outW);
    QFETCH(int, outH);
    int w = 0, h = 0;
    mencoder::FitSize(srcW, srcH, outW, outH, w, h);
    QTEST(w, "w");
    QTEST(h, "h");
}

// The lowest level whose limits hold the stream; each row sits at an edge of one limit.
void TestMencoderArgs::h264Level_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("kbits");
    QTest::addColumn<int>("frames"); // decoded picture buffer
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("refsAt30"); // the reference frames x264 keeps when level 3.0 is asked
    QTest::newRow("HD profile: 720p30") << 1280 << 720 << 30.0 << 5000 << 4 << 31 << 2;
    QTest::newRow("720p25") << 1280 << 720 << 25.0 << 5000 << 4 << 31 << 2;
    QTest::newRow("720p60") << 1280 << 720 << 60.0 << 5000 << 4 << 32 << 2;
    QTest::newRow("SD size 30 fps") << 720 << 480 << 30.0 << 1200 << 4 << 30 << 6;
    QTest::newRow("SD size at 29.97") << 720 << 480 << 29.97 << 1200 << 4 << 30 << 6;
    QTest::newRow("SD size over level 3's rate") << 720 << 480 << 30.0 << 12000 << 4 << 31 << 6;
    QTest::newRow("SD size with 12 references") << 720 << 480 << 30.0 << 1200 << 12 << 31 << 6;
    QTest::newRow("1080p30") << 1920 << 1080 << 30.0 << 8000 << 4 << 40 << 1;
    QTest::newRow("1080p30 at 25 Mbit/s") << 1920 << 1080 << 30.0 << 25000 << 4 << 41 << 1;
    QTest::newRow("1080p60") << 1920 << 1080 << 60.0 << 8000 << 4 << 42 << 1;
    QTest::newRow("portrait 720x1280") << 720 << 1280 << 30.0 << 5000 << 4 << 31 << 2;
    QTest::newRow("a strip too long for 3.1") << 3000 << 16 << 30.0 << 1000 << 4 << 32 << 16;
    QTest::newRow("tiny") << 176 << 144 << 15.0 << 64 << 1 << 10 << 16;
    QTest::newRow("4K30") << 3840 << 2160 << 30.0 << 20000 << 4 << 51 << 1;
    QTest::newRow("no level holds it") << 16384 << 16384 << 120.0 << 1000 << 4 << 0 << 1;
}

void TestMencoderArgs::h264Level()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, fps);
    QFETCH(int, kbits);
    QFETCH(int, frames);
    QTEST(mencoder::H264Level(width, height, fps, kbits * 1000LL, frames), "level");
    QTEST(mencoder::H264ReferenceFrames(30, width, height), "refsAt30");
}

void TestMencoderArgs::chainGeometry_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("sarNum");
    QTest::addColumn<int>("sarDen");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QString>("builderScale");
    QTest::addColumn<QString>("expectedStart");

    QTest::newRow("square pixels, upright: as the builder said") << 1920 << 1080 << 1 << 1 << 0 << "1280:720"
                                                                 << "scale=1280:720:";
    // A phone's portrait film stored 1920x1080 and turned on display: fitted as portrait.
    QTest::newRow("turned a quarter clockwise") << 1920 << 1080 << 1 << 1 << 90 << "1280:720"
                                                << "transpose=clock,scale=1280:2274:";
    QTest::newRow("turned a quarter back") << 1920 << 1080 << 1 << 1 << 270 << "1280:720"
                                           << "transpose=cclock,scale=1280:2274:";
    QTest::newRow("upside down") << 1920 << 1080 << 1 << 1 << 180 << "1280:720"
                                 << "hflip,vflip,scale=1280:720:";
    // DVD NTSC 4:3: 720x480 stored, 640x480 shown; the builder fitted the stored 3:2.
    QTest::newRow("non-square pixels") << 720 << 480 << 8 << 9 << 0 << "1080:720"
                                       << "scale=960:720:";
}

void TestMencoderArgs::chainGeometry()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, sarNum);
    QFETCH(int, sarDen);
    QFETCH(int, rotation);
    QFETCH(QString, builderScale);
    const auto parsed = ParseArguments(
        Args("in -vf scale=" + builderScale + " -vf-add expand=1280:720 -vf-add harddup -vf-add crop=1280:720 -o out"));
    QVERIFY(parsed.options);
    const std::string chain =
        mencoder::VideoFilterChain(parsed.options->videoFilters, {width, height, sarNum, sarDen, rotation});
    QFETCH(QString, expectedStart);
    QVERIFY2(QString::fromStdString(chain).startsWith(expectedStart), chain.c_str());
    // The frame is always filled to the output size with even sides and square pixels.
    QVERIFY2(chain.find("pad=w='max(iw,1280)':h='max(ih,720)'") != std::string::npos, chain.c_str());
    QVERIFY2(chain.find("crop=w='min(iw,1280)':h='min(ih,720)'") != std::string::npos, chain.c_str());
    QVERIFY2(chain.find("setsar=1") != std::string::npos, chain.c_str());
}

QTEST_APPLESS_MAIN(TestMencoderArgs)
#include "tst_mencoder_args.moc"
