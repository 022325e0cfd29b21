#include "encode/base64.h"
#include "encode/encoder_args_builder.h"

#include <QByteArray>
#include <QTest>

namespace {

// An SD job that adds no optional token: no facts, an extension without rules,
// codecs that the tables do not know.
EncodeJob PlainJob()
{
    EncodeJob job;
    job.Format = "AVI";
    job.VCodec = "none";
    job.ACodec = "none";
    job.VBitrate = 1200;
    job.VFps = 30.0f;
    job.VWidth = 720;
    job.VHeight = 480;
    job.ABitrate = 128;
    job.ASamplerate = 44100;
    job.SourceExt = "AVI";
    job.SourceFps = 23.976f;
    return job;
}

const std::string kPlainText = "-mc,0,-ofps,30,-vf,scale=720:480,-vf-add,expand=720:480,"
                               "-vf-add,harddup,-vf-add,crop=720:480,-af,volume=0:1,-srate,44100";

std::string Utf16LeBase64(const QString &text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes.toBase64().toStdString();
}

} // namespace

class TstEncoderArgsBuilder : public QObject {
    Q_OBJECT
private slots:
    void workedExample()
    {
        EncodeJob job = PlainJob();
        job.Format = "MP4";
        job.VCodec = "x264";
        job.ACodec = "faac";
        job.VBitrate = 5000;
        job.VWidth = 1280;
        job.VHeight = 720;
        job.Multicore = true;
        job.SourceExt = "MKV";
        job.SrcWidth = 1920;
        job.SrcHeight = 1080;
        job.Facts.Video.Format = "AVC";
        job.Facts.Video.FrameRate_Mode = "CFR";
        job.Facts.Audio.Format = "AAC";

        const std::string options = EncoderArgsBuilder(4).Build(job);
        const std::string expected =
            "-mc,0,-demuxer,mkv,-ofps,30,-vf,scale=1280:720,-vf-add,expand=1280:720,"
            "-vf-add,harddup,-vf-add,crop=1280:720,-af,volume=0:1,-srate,44100,"
            "-ovc,x264,-x264encopts,bitrate=5000:global_header:level_idc=30:subq=1:threads=auto,"
            "-oac,faac,-faacopts,mpeg=4:object=2:raw:br=128,-of,lavf,-lavfopts,format=mp4,"
            "-lavdopts threads=4,-avthread,-videofilterthread";
        QCOMPARE(options, expected);
        QCOMPARE(job.DecodeThreads, 4);
        QVERIFY(job.UseAVThreads);

        const QString in = "/home/ana/Vidéos/clip one.mkv";
        const QString out = "/home/ana/Documents/Framepress/clip one.mp4";
        const EngineArguments args = MakeEngineArguments(options, in, out);
        QVERIFY(args.ok());
        QCOMPARE(args.text, " \"" + Utf16LeBase64(in)
                                + "\" "
                                  "-mc 0 -demuxer mkv -ofps 30 -vf scale=1280:720 -vf-add expand=1280:720 "
                                  "-vf-add harddup -vf-add crop=1280:720 -af volume=0:1 -srate 44100 "
                                  "-ovc x264 -x264encopts bitrate=5000:global_header:level_idc=30:subq=1:threads=auto "
                                  "-oac faac -faacopts mpeg=4:object=2:raw:br=128 -of lavf -lavfopts format=mp4 "
                                  "-lavdopts threads=4 -avthread -videofilterthread"
                                  " -o \""
                                + Utf16LeBase64(out) + "\"");
    }

    void videoCodecs_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("multicore");
        QTest::addColumn<QString>("added");
        QTest::newRow("xvid") << "xvid"
                              << "AVI" << false << ",-ovc,xvid,-xvidencopts,max_bframes=0:bitrate=1200";
        QTest::newRow("divx4") << "divx4"
                               << "AVI" << false << ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=1200,-ffourcc,DIVX";
        QTest::newRow("dx50") << "dx50"
                              << "AVI" << false << ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=1200,-ffourcc,DX50";
        QTest::newRow("DX50 any case") << "Dx50"
                                       << "AVI" << false
                                       << ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=1200,-ffourcc,DX50";
        QTest::newRow("mpeg4 in AVI") << "mpeg4"
                                      << "AVI" << false
                                      << ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=1200:threads=2,-ffourcc,mp4v";
        QTest::newRow("mpeg4 in avi") << "mpeg4"
                                      << "avi" << false
                                      << ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=1200:threads=2,-ffourcc,mp4v";
        QTest::newRow("mpeg4 in MP4")
            << "mpeg4"
            << "MP4" << false
            << ",-ovc,lavc,-lavcopts,vcodec=mpeg4:vbitrate=1200:threads=2:aglobal=1:vglobal=1,-ffourcc,mp4v";
        QTest::newRow("MPEG4 keeps its case")
            << "MPEG4"
            << "AVI" << false << ",-ovc,lavc,-lavcopts,vcodec=MPEG4:vbitrate=1200:threads=2,-ffourcc,mp4v";
        QTest::newRow("msmpeg4v2") << "msmpeg4v2"
                                   << "AVI" << false << ",-ovc,lavc,-lavcopts,vcodec=msmpeg4v2:vbitrate=1200";
        QTest::newRow("msmpeg4") << "MSMPEG4"
                                 << "AVI" << false << ",-ovc,lavc,-lavcopts,vcodec=MSMPEG4:vbitrate=1200,-ffourcc,mp43";
        QTest::newRow("flv")
            << "flv"
            << "AVI" << false
            << ",-ovc,lavc,-lavcopts,vcodec=flv:vbitrate=1200,-ffourcc,flv1,-lavcopts,mbd=2:mv0:trell:v4mv:cbp:last_pred=3";
        QTest::newRow("x264 first run") << "x264"
                                        << "MP4" << false
                                        << ",-ovc,x264,-x264encopts,bitrate=1200:global_header:level_idc=30:subq=1";
        QTest::newRow("x264 multicore")
            << "X264"
            << "MP4" << true << ",-ovc,x264,-x264encopts,bitrate=1200:global_header:level_idc=30:subq=1:threads=auto";
        QTest::newRow("unknown") << "theora"
                                 << "MP4" << true << "";
        QTest::newRow("empty") << ""
                               << "MP4" << true << "";
        QTest::newRow("prefix only") << "mpeg"
                                     << "MP4" << true << "";
        // Unicode case folding must not turn a foreign letter into a known name.
        QTest::newRow("long s") << QString::fromUtf8("m\u017Fmpeg4") << "AVI" << false << "";
    }

    void videoCodecs()
    {
        QFETCH(QString, codec);
        QFETCH(QString, format);
        QFETCH(bool, multicore);
        QFETCH(QString, added);
        EncodeJob job = PlainJob();
        job.VCodec = codec;
        job.Format = format;
        job.Multicore = multicore;
        QCOMPARE(EncoderArgsBuilder(2).Build(job), kPlainText + added.toStdString());
    }

    void audioCodecs_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("added");
        QTest::newRow("mp3lame") << "mp3lame"
                                 << ",-oac,mp3lame,-lameopts,br=128:cbr";
        QTest::newRow("ac3") << "AC3"
                             << ",-oac,lavc,-lavcopts,acodec=ac3:abitrate=128";
        QTest::newRow("faac") << "faac"
                              << ",-oac,faac,-faacopts,mpeg=4:object=2:raw:br=128,-of,lavf,-lavfopts,format=mp4";
        QTest::newRow("mp2") << "mp2"
                             << ",-oac,lavc,-lavcopts,acodec=mp2:abitrate=128";
        QTest::newRow("unknown") << "vorbis"
                                 << "";
    }

    void audioCodecs()
    {
        QFETCH(QString, codec);
        QFETCH(QString, added);
        EncodeJob job = PlainJob();
        job.ACodec = codec;
        QCOMPARE(EncoderArgsBuilder(2).Build(job), kPlainText + added.toStdString());
    }

    void fittedSize_data()
    {
        QTest::addColumn<uint>("srcWidth");
        QTest::addColumn<uint>("srcHeight");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("scaleWidth");
        QTest::addColumn<int>("scaleHeight");
        QTest::newRow("PAL 1.25 into SD") << 720u << 576u << 720 << 480 << 720 << 576;
        QTest::newRow("720p into SD, 853 lowered") << 1280u << 720u << 720 << 480 << 852 << 480;
        QTest::newRow("1.5 into HD, padded") << 720u << 480u << 1280 << 720 << 1080 << 720;
        QTest::newRow("4:3 is above 1.33") << 640u << 480u << 1280 << 720 << 960 << 720;
        QTest::newRow("exactly 1.33") << 133u << 100u << 1280 << 720 << 1280 << 962;
        QTest::newRow("1080p into HD") << 1920u << 1080u << 1280 << 720 << 1280 << 720;
        QTest::newRow("portrait") << 480u << 640u << 720 << 480 << 720 << 960;
        QTest::newRow("odd height lowered") << 1000u << 999u << 720 << 480 << 720 << 718;
        QTest::newRow("no source width") << 0u << 576u << 720 << 480 << 720 << 480;
        QTest::newRow("no source height") << 720u << 0u << 1280 << 720 << 1280 << 720;
        QTest::newRow("odd output lowered") << 0u << 0u << 721 << 481 << 720 << 480;
        QTest::newRow("absurd width, no overflow") << 4000000000u << 2u << 1280 << 720 << 2147483646 << 720;
    }

    void fittedSize()
    {
        QFETCH(uint, srcWidth);
        QFETCH(uint, srcHeight);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, scaleWidth);
        QFETCH(int, scaleHeight);
        const EncoderArgsBuilder::Size fit = EncoderArgsBuilder::FittedSize(srcWidth, srcHeight, width, height);
        QCOMPARE(fit.width, scaleWidth);
        QCOMPARE(fit.height, scaleHeight);

        // The filter chain scales to the fit, then pads and crops to the output frame.
        EncodeJob job = PlainJob();
        job.SrcWidth = srcWidth;
        job.SrcHeight = srcHeight;
        job.VWidth = width;
        job.VHeight = height;
        const std::string frame = std::to_string(width) + ":" + std::to_string(height);
        const std::string chain = "-vf,scale=" + std::to_string(scaleWidth) + ":" + std::to_string(scaleHeight)
                                  + ",-vf-add,expand=" + frame + ",-vf-add,harddup,-vf-add,crop=" + frame + ",";
        QVERIFY(EncoderArgsBuilder(2).Build(job).find(chain) != std::string::npos);
    }

    void demuxerAndFrameRate_data()
    {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("frameRateMode");
        QTest::addColumn<QString>("codecId");
        QTest::addColumn<QString>("videoMuxing");
        QTest::addColumn<QString>("audioMuxing");
        QTest::addColumn<float>("sourceFps");
        QTest::addColumn<QString>("token");
        QTest::newRow("VFR MP4") << "MP4"
                                 << "VFR"
                                 << "ISOM"
                                 << ""
                                 << "" << 23.976f << "-demuxer,mov,";
        QTest::newRow("VFR MP42 brand") << "MP4"
                                        << "VFR"
                                        << "MP42"
                                        << ""
                                        << "" << 23.976f << "-demuxer,mov,";
        QTest::newRow("CFR MP4") << "MP4"
                                 << "CFR"
                                 << "ISOM"
                                 << ""
                                 << "" << 23.976f << "";
        QTest::newRow("vfr is not VFR") << "MP4"
                                        << "vfr"
                                        << ""
                                        << ""
                                        << "" << 23.976f << "";
        QTest::newRow("VFR MKV") << "MKV"
                                 << "VFR"
                                 << ""
                                 << ""
                                 << "" << 23.976f << "-demuxer,mkv,";
        QTest::newRow("FLV") << "FLV"
                             << "CFR"
                             << ""
                             << ""
                             << "" << 23.976f << "-fps,23.976,";
        QTest::newRow("MOV") << "MOV"
                             << ""
                             << "QT"
                             << ""
                             << "" << 23.976f << "-fps,23.976,";
        QTest::newRow("other rate") << "FLV"
                                    << ""
                                    << ""
                                    << ""
                                    << "" << 29.97f << "-fps,29.97,";
        QTest::newRow("MP42 in AVI") << "AVI"
                                     << ""
                                     << "MP42"
                                     << ""
                                     << "" << 23.976f << "-fps,23.976,";
        QTest::newRow("CFR MP42 MP4") << "MP4"
                                      << "CFR"
                                      << "MP42"
                                      << ""
                                      << "" << 23.976f << "-fps,23.976,";
        QTest::newRow("MP42 with brands") << "AVI"
                                          << ""
                                          << "MP42 (MP42/ISOM)"
                                          << ""
                                          << "" << 23.976f << "";
        QTest::newRow("MKV") << "MKV"
                             << ""
                             << ""
                             << ""
                             << "" << 23.976f << "-demuxer,mkv,";
        QTest::newRow("MKV video stripped") << "MKV"
                                            << ""
                                            << ""
                                            << "Header stripping"
                                            << "" << 23.976f << "";
        QTest::newRow("MKV audio stripped") << "MKV"
                                            << ""
                                            << ""
                                            << ""
                                            << "Header stripping" << 23.976f << "";
        QTest::newRow("MKV other case") << "MKV"
                                        << ""
                                        << ""
                                        << "header stripping"
                                        << "" << 23.976f << "-demuxer,mkv,";
        QTest::newRow("lower-case ext") << "mkv"
                                        << ""
                                        << ""
                                        << ""
                                        << "" << 23.976f << "";
        QTest::newRow("no ext") << ""
                                << "VFR"
                                << ""
                                << ""
                                << "" << 23.976f << "";
    }

    void demuxerAndFrameRate()
    {
        QFETCH(QString, ext);
        QFETCH(QString, frameRateMode);
        QFETCH(QString, codecId);
        QFETCH(QString, videoMuxing);
        QFETCH(QString, audioMuxing);
        QFETCH(float, sourceFps);
        QFETCH(QString, token);
        EncodeJob job = PlainJob();
        job.SourceExt = ext;
        job.SourceFps = sourceFps;
        job.Facts.Video.FrameRate_Mode = frameRateMode;
        job.Facts.General.CodecID = codecId;
        job.Facts.Video.MuxingMode = videoMuxing;
        job.Facts.Audio.MuxingMode = audioMuxing;
        std::string expected = kPlainText;
        expected.insert(6, token.toStdString());
        QCOMPARE(EncoderArgsBuilder(2).Build(job), expected);
    }

    void threads_data()
    {
        QTest::addColumn<int>("processors");
        QTest::addColumn<QString>("videoFormat");
        QTest::addColumn<QString>("audioFormat");
        QTest::addColumn<int>("decodeThreads");
        QTest::addColumn<bool>("avThreads");
        QTest::addColumn<QString>("tail");
        QTest::newRow("1 cpu H.264") << 1 << "AVC"
                                     << "AAC" << 0 << true << ",-avthread";
        QTest::newRow("2 cpus H.264") << 2 << "avc"
                                      << "AAC" << 2 << true << ",-lavdopts threads=2,-avthread,-videofilterthread";
        QTest::newRow("6 cpus MPEG-4") << 6 << "MPEG-4 Visual"
                                       << "MPEG Audio" << 0 << true << ",-avthread,-videofilterthread";
        QTest::newRow("7 cpus H.264") << 7 << "AVC"
                                      << "AAC" << 7 << true
                                      << ",-lavdopts threads=7,-avthread,-videofilterthread,-filterthread";
        QTest::newRow("12 cpus H.264") << 12 << "AVC"
                                       << "AAC" << 8 << true
                                       << ",-lavdopts threads=8,-avthread,-videofilterthread,-filterthread";
        QTest::newRow("0 cpus counts as 1") << 0 << "AVC"
                                            << "AAC" << 0 << true << ",-avthread";
        QTest::newRow("no audio") << 4 << "AVC"
                                  << "" << 4 << false << ",-lavdopts threads=4";
        QTest::newRow("no video") << 4 << ""
                                  << "MPEG Audio" << 0 << false << "";
        QTest::newRow("video None") << 4 << "none"
                                    << "AAC" << 0 << false << "";
        QTest::newRow("video Unknown") << 4 << "UNKNOWN"
                                       << "AAC" << 0 << false << "";
        QTest::newRow("audio sqcp") << 4 << "AVC"
                                    << "SQCP" << 4 << false << ",-lavdopts threads=4";
        QTest::newRow("audio AMR") << 4 << "AVC"
                                   << "amr" << 4 << false << ",-lavdopts threads=4";
        QTest::newRow("audio Unknown") << 4 << "AVC"
                                       << "Unknown" << 4 << false << ",-lavdopts threads=4";
    }

    void threads()
    {
        QFETCH(int, processors);
        QFETCH(QString, videoFormat);
        QFETCH(QString, audioFormat);
        QFETCH(int, decodeThreads);
        QFETCH(bool, avThreads);
        QFETCH(QString, tail);
        EncodeJob job = PlainJob();
        job.Facts.Video.Format = videoFormat;
        job.Facts.Audio.Format = audioFormat;
        job.DecodeThreads = 99; // the builder decides, whatever was there
        QCOMPARE(EncoderArgsBuilder(processors).Build(job), kPlainText + tail.toStdString());
        QCOMPARE(job.DecodeThreads, decodeThreads);
        QCOMPARE(job.UseAVThreads, avThreads);
    }

    void floatTexts_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 30.0f << "30";
        QTest::newRow("film") << 23.976f << "23.976";
        QTest::newRow("NTSC") << 29.97f << "29.97";
        QTest::newRow("six digits") << 1234567.0f << "1.23457e+06";
        QTest::newRow("small") << 0.5f << "0.5";
        QTest::newRow("zero") << 0.0f << "0";
    }

    void floatTexts()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(EncoderArgsBuilder::FormatFloat(value), text.toStdString());
    }

    void barBecomesComma()
    {
        const EngineArguments args = MakeEngineArguments("-a,b|c,-lavfopts,x=1|y=2", "i", "o");
        QVERIFY(args.ok());
        QCOMPARE(args.text, " \"aQA=\" -a b,c -lavfopts x=1,y=2 -o \"bwA=\"");
    }

    // Base64 names fit 1000 bytes with the terminator: 373 UTF-16 units, not 374.
    void nameLengthLimit_data()
    {
        QTest::addColumn<int>("inputUnits");
        QTest::addColumn<int>("outputUnits");
        QTest::addColumn<int>("error");
        QTest::newRow("both at the limit") << 373 << 373 << int(EngineArgsError::None);
        QTest::newRow("input one over") << 374 << 10 << int(EngineArgsError::InputNameTooLong);
        QTest::newRow("output one over") << 10 << 374 << int(EngineArgsError::OutputNameTooLong);
        QTest::newRow("empty input") << 0 << 10 << int(EngineArgsError::EmptyPath);
        QTest::newRow("empty output") << 10 << 0 << int(EngineArgsError::EmptyPath);
    }

    void nameLengthLimit()
    {
        QFETCH(int, inputUnits);
        QFETCH(int, outputUnits);
        QFETCH(int, error);
        const QString in = "/" + QString(inputUnits - 1, QChar(0x00E9));
        const QString out = "/" + QString(outputUnits - 1, QLatin1Char('o'));
        const EngineArguments args =
            MakeEngineArguments("-mc,0", inputUnits ? in : QString(), outputUnits ? out : QString());
        QCOMPARE(int(args.error), error);
        if (args.ok()) {
            QCOMPARE(args.text, " \"" + Utf16LeBase64(in) + "\" -mc 0 -o \"" + Utf16LeBase64(out) + "\"");
            // The log's reading: the names back, a quoted word that is no name as it is.
            QCOMPARE(ReadableEngineArguments(args.text + " \"x=\""), " \"" + in + "\" -mc 0 -o \"" + out + "\" \"x=\"");
        } else
            QVERIFY(args.text.empty());
    }

    // The whole command line with " -wchar -pipename=N" must fit 4096 bytes; nothing is cut.
    void commandLineLimit()
    {
        const size_t fixed = MakeEngineArguments("", "i", "o").text.size();
        const size_t room = kEngineCommandLineCapacity - 1 - kPipeSwitchesMaxLength - fixed;
        const std::string fits(room, 'x');
        const EngineArguments ok = MakeEngineArguments(fits, "i", "o");
        QVERIFY(ok.ok());
        QCOMPARE(ok.text.size() + std::string(" -wchar -pipename=-2147483648").size(), kEngineCommandLineCapacity - 1);
        const EngineArguments over = MakeEngineArguments(fits + "x", "i", "o");
        QCOMPARE(over.error, EngineArgsError::CommandLineTooLong);
        QVERIFY(over.text.empty());
    }

    void base64Vectors_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==");
        QTest::newRow("fo") << QByteArray("fo") << QByteArray("Zm8=");
        QTest::newRow("foo") << QByteArray("foo") << QByteArray("Zm9v");
        QTest::newRow("foob") << QByteArray("foob") << QByteArray("Zm9vYg==");
        QTest::newRow("fooba") << QByteArray("fooba") << QByteArray("Zm9vYmE=");
        QTest::newRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
        QTest::newRow("high bytes") << QByteArray("\xFB\xFF\xBF", 3) << QByteArray("+/+/");
        QTest::newRow("zeros") << QByteArray(4, '\0') << QByteArray("AAAAAA==");
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        QTest::newRow("every byte") << all << all.toBase64();
    }

    void base64Vectors()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, encoded);
        const auto *data = reinterpret_cast<const unsigned char *>(input.constData());
        std::string buffer(encoded.size() + 1, '#');
        size_t written = 0;
        QCOMPARE(Base64Encode(data, size_t(input.size()), buffer.data(), buffer.size(), &written), 0);
        QCOMPARE(written, size_t(encoded.size()));
        QCOMPARE(QByteArray(buffer.c_str()), encoded);
        QCOMPARE(buffer.back(), '\0');
        QCOMPARE(QByteArray::fromStdString(Base64Encode(input.constData(), size_t(input.size()))), encoded);

        // One byte short of room for the terminator: nothing written, the need reported.
        std::string shortBuffer(encoded.size(), '#');
        written = 0;
        QCOMPARE(Base64Encode(data, size_t(input.size()), shortBuffer.data(), shortBuffer.size(), &written),
                 kBase64BufferTooSmall);
        QCOMPARE(written, size_t(encoded.size() + 1));
        QCOMPARE(shortBuffer, std::string(encoded.size(), '#'));
    }

    void base64ZeroBytes()
    {
        char buffer[4] = {'#', '#', '#', '#'};
        size_t written = 7;
        QCOMPARE(Base64Encode(reinterpret_cast<const unsigned char *>(""), 0, buffer, 0, &written), 0);
        QCOMPARE(written, size_t(0));
        QCOMPARE(buffer[0], '#');
        QCOMPARE(Base64Encode("", 0), std::string());
    }
};

QTEST_GUILESS_MAIN(TstEncoderArgsBuilder)
#include "tst_encoder_args_builder.moc"
