// Colours through the engine: which sources get colour filters at all, and, on clips made
// here from one SDR original with the ffmpeg command line (HDR10, HLG, full range, each
// matrix), what comes out, judged by ffmpeg's own measurements. Also the engine's own passes
// (colour, scaling) against the filters they stand for.

#include "encoder/tone_map_lut.h"
#include "encoder/colour_pass.h"
#include "encoder/scale_pass.h"
#include "encoder/video_colour.h"
#include "media_tools.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

using namespace testing;
using mencoder::VideoColour;

namespace {

// Lossless H.264, so that what is measured is the colour conversion and not the encoder.
const QString kLossless = "-ovc x264 -x264encopts crf=0:global_header:subq=1:threads=auto "
                          "-of lavf -lavfopts format=mp4";
const QString kHdJob = "-mc 0 -ofps 30 -vf scale=1280:720 -vf-add expand=1280:720 -vf-add harddup "
                       "-vf-add crop=1280:720 "
                       + kLossless;
const QString kSdJob = "-mc 0 -ofps 30 -vf scale=852:480 -vf-add expand=720:480 -vf-add harddup "
                       "-vf-add crop=720:480 "
                       + kLossless;
// A 4:3 SD source in the HD job.
const QString kHdJob43 = "-mc 0 -ofps 30 -vf scale=960:720 -vf-add expand=1280:720 -vf-add harddup "
                         "-vf-add crop=1280:720 "
                         + kLossless;

struct Looks {
    double luma = -1;       // mean Y, 8-bit code values
    double saturation = -1; // mean chroma distance from grey
};

// ffmpeg's signalstats over every frame, in 8 bits.
Looks Measure(const QString &path)
{
    const Outcome o = Run("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-vf",
                                     "format=yuv420p,signalstats,metadata=print:file=-", "-f", "null", "-"});
    Looks looks;
    double y = 0, s = 0;
    int n = 0;
    for (const QByteArray &line : o.out.split('\n')) {
        if (line.contains("signalstats.YAVG=")) {
            y += line.mid(line.indexOf('=') + 1).toDouble();
            ++n;
        } else if (line.contains("signalstats.SATAVG=")) {
            s += line.mid(line.indexOf('=') + 1).toDouble();
        }
    }
    if (n > 0)
        looks = {y / n, s / n};
    return looks;
}

QString FrameHashes(const QString &path)
{
    const Outcome o = Run("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-map", "0:v", "-f", "framemd5", "-"});
    QStringList hashes;
    for (const QByteArray &line : o.out.split('\n'))
        if (!line.startsWith('#') && !line.trimmed().isEmpty())
            hashes << QString::fromUtf8(line.split(',').last().trimmed());
    return hashes.join(' ');
}

} // namespace

class TestMencoderColour : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void filtersOnlyWhereNeeded_data();
    void filtersOnlyWhereNeeded();
    void hdrToneMapped_data();
    void hdrToneMapped();
    void passMatchesFilters_data();
    void passMatchesFilters();
    void scalePassMatchesSwscale_data();
    void scalePassMatchesSwscale();
    void lutMatchesDirect_data();
    void lutMatchesDirect();
    void lutRemadeMidStream();
    void lutFileGoneAfterFailure();
    void matrixAndRange_data();
    void matrixAndRange();
    void plainPathUnchanged();

private:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    Outcome Convert(const QString &input, const QString &options, const QString &output)
    {
        QFile::remove(output);
        return Run(Engine(), QStringList{input} + Words(options) + QStringList{"-o", output}, 300000);
    }
    // The engine with its own temporary folder, to see what it leaves there.
    Outcome ConvertWithTemp(const QString &temp, const QString &input, const QString &options, const QString &output)
    {
        QFile::remove(output);
        return Run("env", QStringList{"TMPDIR=" + temp, Engine(), input} + Words(options) + QStringList{"-o", output},
                   300000);
    }
    QString HdrClip(const QString &transfer);
    QTemporaryDir m_dir;
};

void TestMencoderColour::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(Engine()), "mencoder is not built beside the tests");
    // The SDR original: BT.709, limited range, lossless, every other clip made from it.
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=30:duration=1", "-vf", "format=yuv420p", "-c:v",
                    "ffv1", "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709", "-color_range",
                    "tv", Path("sdr709.mkv")}));
    // Softer pictures for the matrix cases: at hard coloured edges, converters differ in how
    // they resample chroma, which is not what is measured there.
    QVERIFY(Ffmpeg({"-i", Path("sdr709.mkv"), "-vf", "gblur=sigma=4", "-c:v", "ffv1", Path("soft709.mkv")}));
}

void TestMencoderColour::filtersOnlyWhereNeeded_data()
{
    QTest::addColumn<int>("primaries");
    QTest::addColumn<int>("transfer");
    QTest::addColumn<int>("matrix");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("outHeight");
    QTest::addColumn<QString>("expect"); // "" plain; else a text the steps must hold

    const int u = AVCOL_PRI_UNSPECIFIED, ut = AVCOL_TRC_UNSPECIFIED, um = AVCOL_SPC_UNSPECIFIED,
              ur = AVCOL_RANGE_UNSPECIFIED, tv = AVCOL_RANGE_MPEG, pc = AVCOL_RANGE_JPEG;
    const int p420 = AV_PIX_FMT_YUV420P, p420j = AV_PIX_FMT_YUVJ420P, p420x = AV_PIX_FMT_YUV420P10LE;
    QTest::newRow("BT.709 HD in HD") << 1 << 1 << 1 << tv << p420 << 1080 << 720 << "";
    QTest::newRow("untagged HD in HD") << u << ut << um << ur << p420 << 1080 << 720 << "";
    QTest::newRow("untagged SD in SD") << u << ut << um << ur << p420 << 480 << 480 << "";
    QTest::newRow("BT.470 BG in SD") << 5 << 6 << 5 << tv << p420 << 576 << 480 << "";
    QTest::newRow("RGB in SD") << u << ut << 0 << ur << int(AV_PIX_FMT_RGB24) << 480 << 480 << "";
    QTest::newRow("gray SD in HD") << u << ut << um << ur << int(AV_PIX_FMT_GRAY8) << 480 << 720 << "";
    QTest::newRow("palette in SD") << u << ut << um << ur << int(AV_PIX_FMT_PAL8) << 480 << 480 << "";
    QTest::newRow("untagged SD in HD") << u << ut << um << ur << p420 << 480 << 720 << ":min=6:rin=tv";
    QTest::newRow("BT.709 HD in SD") << 1 << 1 << 1 << tv << p420 << 720 << 480 << ":m=6:r=tv";
    QTest::newRow("RGB in HD") << u << ut << 0 << ur << int(AV_PIX_FMT_GBRP) << 720 << 720 << ":min=0:rin=pc";
    QTest::newRow("full range tag") << 1 << 1 << 1 << pc << p420 << 1080 << 720 << "format=yuv420p,zscale=";
    QTest::newRow("full range format") << u << ut << um << ur << p420j << 1080 << 720 << "format=yuvj420p,zscale=";
    QTest::newRow("PQ") << 9 << 16 << 9 << tv << p420x << 2160 << 720 << "tonemap=tonemap=mobius";
    QTest::newRow("HLG") << 9 << 18 << 9 << tv << p420x << 1080 << 480 << "tonemap=tonemap=mobius";
    QTest::newRow("BT.2020 SDR") << 9 << 14 << 9 << tv << p420x << 1080 << 720 << ":p=1:t=1:m=1";
}

void TestMencoderColour::filtersOnlyWhereNeeded()
{
    QFETCH(int, primaries);
    QFETCH(int, transfer);
    QFETCH(int, matrix);
    QFETCH(int, range);
    QFETCH(int, format);
    QFETCH(int, height);
    QFETCH(int, outHeight);
    QFETCH(QString, expect);
    const VideoColour tagged{AVColorPrimaries(primaries), AVColorTransferCharacteristic(transfer), AVColorSpace(matrix),
                             AVColorRange(range)};
    const AVPixelFormat f = AVPixelFormat(format);
    const QString steps = QString::fromStdString(
        mencoder::ColourSteps(mencoder::SourceColour(tagged, height, f), f, mencoder::OutputColour(outHeight)));
    if (expect.isEmpty())
        QCOMPARE(steps, QString());
    else
        QVERIFY2(steps.contains(expect), qPrintable(steps));
    // HDR is tone-mapped and nothing else is.
    const bool hdr = transfer == 16 || transfer == 18;
    QCOMPARE(steps.contains("tonemap"), hdr);

    // With a LUT, HDR takes it instead, and stays out of linear light until after it; any
    // other source ignores it.
    const QString withLut = QString::fromStdString(mencoder::ColourSteps(
        mencoder::SourceColour(tagged, height, f), f, mencoder::OutputColour(outHeight), "/lut/x.cube"));
    if (hdr) {
        QVERIFY2(!withLut.contains("tonemap") && withLut.contains("lut3d=file=/lut/x.cube:interp=tetrahedral"),
                 qPrintable(withLut));
        const QString beforeLut = withLut.left(withLut.indexOf("lut3d"));
        QVERIFY2(beforeLut.contains(QString(":t=%1:m=0:r=pc,format=gbrpf32le,").arg(transfer)), qPrintable(withLut));
        QVERIFY2(withLut.endsWith(",format=yuv420p"), qPrintable(withLut));
    } else {
        QCOMPARE(withLut, steps);
    }
}

// The SDR original as HDR of that transfer (ffprobe's name), SDR white at BT.2408's 203 cd/m2;
// "" when ffmpeg failed.
QString TestMencoderColour::HdrClip(const QString &transfer)
{
    const QString hdr = Path(transfer + ".mkv");
    if (QFile::exists(hdr))
        return hdr;
    const bool made = Ffmpeg({"-i", Path("sdr709.mkv"), "-vf",
                              "zscale=tin=709:min=709:pin=709:rin=tv:p=709:t=linear:npl=203,format=gbrpf32le,"
                              "zscale=p=2020:t="
                                  + transfer + ":m=2020_ncl:r=tv:npl=203,format=yuv420p10le",
                              "-c:v", "ffv1", "-color_primaries", "bt2020", "-color_trc", transfer, "-colorspace",
                              "bt2020nc", "-color_range", "tv", hdr});
    return made ? hdr : QString();
}

void TestMencoderColour::hdrToneMapped_data()
{
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<QString>("job");
    QTest::addColumn<QString>("tags"); // primaries transfer matrix range, as ffprobe names them
    const QString hd = "bt709 bt709 bt709 tv", sd = "smpte170m smpte170m smpte170m tv";
    QTest::newRow("HDR10 PQ, HD job") << "smpte2084" << kHdJob << hd;
    QTest::newRow("HLG, HD job") << "arib-std-b67" << kHdJob << hd;
    QTest::newRow("HLG, SD job") << "arib-std-b67" << kSdJob << sd;
}

// HDR made from the SDR original with SDR white at BT.2408's 203 cd/m2 must come back
// looking like the original through the same job: as bright, and not washed out.
void TestMencoderColour::hdrToneMapped()
{
    QFETCH(QString, transfer);
    QFETCH(QString, job);
    QFETCH(QString, tags);
    const QString hdr = HdrClip(transfer);
    QVERIFY(!hdr.isEmpty());
    const QString out = Path("hdr-out.mp4");
    const Outcome run = Convert(hdr, job, out);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    const QJsonObject v = Stream(Probe(out), "video");
    QCOMPARE(QStringList({v["color_primaries"].toString(), v["color_transfer"].toString(), v["color_space"].toString(),
                          v["color_range"].toString()})
                 .join(' '),
             tags);

    const QString sdrOut = Path("sdr-out.mp4");
    const Outcome sdrRun = Convert(Path("sdr709.mkv"), job, sdrOut);
    QVERIFY2(sdrRun.exitCode == 0, sdrRun.err.constData());
    const Looks original = Measure(sdrOut);
    const Looks before = Measure(hdr); // what taking the HDR values as SDR shows
    const Looks after = Measure(out);
    qInfo("%s: mean luma %.1f (original %.1f, HDR taken as SDR %.1f), mean saturation %.1f (%.1f, %.1f)",
          QTest::currentDataTag(), after.luma, original.luma, before.luma, after.saturation, original.saturation,
          before.saturation);
    QVERIFY(original.luma > 0 && after.luma > 0);
    QVERIFY2(qAbs(after.luma - original.luma) <= 0.10 * original.luma, "mean luma off by more than 10 %");
    QVERIFY2(after.saturation >= 0.80 * original.saturation, "washed out");
}

void TestMencoderColour::passMatchesFilters_data()
{
    QTest::addColumn<int>("transfer");  // HDR: tone-mapped from the clip of that curve; else a change of matrix
    QTest::addColumn<int>("matrix");    // the source's
    QTest::addColumn<int>("outHeight"); // the output colours: BT.709 from 720 lines, else BT.601
    QTest::addColumn<int>("siting");
    QTest::addColumn<bool>("plain");
    const int hlg = AVCOL_TRC_ARIB_STD_B67, pq = AVCOL_TRC_SMPTE2084, sdr = AVCOL_TRC_BT709;
    const int m2020 = AVCOL_SPC_BT2020_NCL, m709 = AVCOL_SPC_BT709, m601 = AVCOL_SPC_SMPTE170M;
    const int left = AVCHROMA_LOC_LEFT, top = AVCHROMA_LOC_TOPLEFT;
    QTest::newRow("HLG to BT.709") << hlg << m2020 << 720 << left << false;
    QTest::newRow("PQ to BT.709") << pq << m2020 << 720 << left << false;
    QTest::newRow("HLG to BT.601") << hlg << m2020 << 480 << left << false;
    QTest::newRow("PQ, chroma on the rows") << pq << m2020 << 720 << top << false;
    QTest::newRow("HLG, plain code") << hlg << m2020 << 720 << left << true;
    QTest::newRow("PQ to BT.601, plain code") << pq << m2020 << 480 << top << true;
    QTest::newRow("BT.709 to BT.601") << sdr << m709 << 480 << left << false;
    QTest::newRow("BT.601 to BT.709, chroma on the rows") << sdr << m601 << 720 << top << false;
    QTest::newRow("BT.709 to BT.601, plain code") << sdr << m709 << 480 << left << true;
}

// Our colour pass gives the pictures the zscale (lut3d, zscale) filters give, on a size whose
// rows end in part of a vector.
void TestMencoderColour::passMatchesFilters()
{
    QFETCH(int, transfer);
    QFETCH(int, matrix);
    QFETCH(int, outHeight);
    QFETCH(int, siting);
    QFETCH(bool, plain);
    const int w = 1262, h = 718, frames = 4;
    const VideoColour source{matrix == AVCOL_SPC_BT2020_NCL ? AVCOL_PRI_BT2020 : AVCOL_PRI_BT709,
                             AVColorTransferCharacteristic(transfer), AVColorSpace(matrix), AVCOL_RANGE_MPEG};
    const bool hdr = mencoder::NeedsToneMapping(source);
    const AVPixelFormat format = hdr ? AV_PIX_FMT_YUV420P10LE : AV_PIX_FMT_YUV420P;
    const int bytes = hdr ? 2 : 1;
    const QString clip =
        hdr ? HdrClip(transfer == AVCOL_TRC_SMPTE2084 ? "smpte2084" : "arib-std-b67") : Path("sdr709.mkv");
    const QString raw = Path("pass-in.yuv"), ref = Path("pass-ref.yuv");
    QVERIFY(!clip.isEmpty());
    QVERIFY(Ffmpeg({"-i", clip, "-frames:v", QString::number(frames), "-vf", QString("crop=%1:%2").arg(w).arg(h), "-f",
                    "rawvideo", "-pix_fmt", av_get_pix_fmt_name(format), raw}));
    const VideoColour output = mencoder::OutputColour(outHeight);
    QVERIFY(mencoder::ColourPass::Fits(source, format, AVChromaLocation(siting), output, AV_PIX_FMT_YUV420P));
    mencoder::ToneMapLuts luts;
    {
        const auto lut = luts.FileFor(source);
        QCOMPARE(bool(lut), hdr);
        QString steps =
            QString::fromStdString(mencoder::ColourSteps(source, format, output, lut ? lut->Path() : std::string()));
        if (siting == AVCHROMA_LOC_TOPLEFT)
            steps.replace(":rin=tv:", ":rin=tv:cin=topleft:")
                .replace(":r=tv,format=yuv420p", ":r=tv:chromal=topleft,format=yuv420p");
        QVERIFY(Ffmpeg({"-f", "rawvideo", "-pix_fmt", av_get_pix_fmt_name(format), "-s", QString("%1x%2").arg(w).arg(h),
                        "-i", raw, "-vf", steps, "-f", "rawvideo", ref}));
    }
    const mencoder::ToneMapTable *table = luts.TableFor(source);
    QCOMPARE(bool(table), hdr);
    mencoder::ColourPass pass(table, source, output);
    if (plain)
        pass.UsePlainCode();
    QFile in(raw), expected(ref);
    QVERIFY(in.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
    double squares = 0;
    std::int64_t samples = 0;
    for (int f = 0; f < frames; ++f) {
        mencoder::Frame picture = mencoder::NewFrame();
        picture->format = format;
        picture->width = w;
        picture->height = h;
        picture->chroma_location = AVChromaLocation(siting);
        QVERIFY(av_frame_get_buffer(picture.get(), 0) == 0);
        for (int plane = 0; plane < 3; ++plane)
            for (int row = 0; row < (plane ? h / 2 : h); ++row)
                in.read(reinterpret_cast<char *>(picture->data[plane] + row * picture->linesize[plane]),
                        (plane ? w / 2 : w) * bytes);
        QByteArray want[3];
        for (int plane = 0; plane < 3; ++plane)
            want[plane] = expected.read(plane ? w / 2 * (h / 2) : w * h);
        {
            const mencoder::Frame out = pass.Run(*picture);
            QCOMPARE(out->format, int(AV_PIX_FMT_YUV420P));
            QCOMPARE(out->colorspace, output.matrix);
            for (int plane = 0; plane < 3; ++plane) {
                const int pw = plane ? w / 2 : w;
                for (int row = 0; row < (plane ? h / 2 : h); ++row)
                    for (int x = 0; x < pw; ++x) {
                        const int d =
                            out->data[plane][row * out->linesize[plane] + x] - std::uint8_t(want[plane][row * pw + x]);
                        squares += d * d;
                        ++samples;
                    }
            }
        }
    }
    QCOMPARE(samples, std::int64_t(frames) * (w * h + w * h / 2));
    const double psnr = squares == 0 ? 100.0 : 10 * std::log10(255.0 * 255.0 * double(samples) / squares);
    qInfo("%s: %.1f dB against the filters", QTest::currentDataTag(), psnr);
    QVERIFY2(psnr >= 60.0, qPrintable(QString::number(psnr)));
}

void TestMencoderColour::scalePassMatchesSwscale_data()
{
    QTest::addColumn<QSize>("in");
    QTest::addColumn<QSize>("out");
    QTest::addColumn<QRect>("keep"); // of the scaled picture, as the crop after it takes it
    QTest::newRow("1080p into SD, centre kept") << QSize(1920, 1080) << QSize(852, 480) << QRect(66, 0, 720, 480);
    QTest::newRow("720p into SD, centre kept") << QSize(1280, 720) << QSize(852, 480) << QRect(66, 0, 720, 480);
    QTest::newRow("scope film into SD") << QSize(1920, 800) << QSize(1152, 480) << QRect(216, 0, 720, 480);
    QTest::newRow("portrait, rows cut") << QSize(1080, 1920) << QSize(480, 854) << QRect(0, 186, 480, 480);
    QTest::newRow("odd sizes, all kept") << QSize(1262, 718) << QSize(630, 355) << QRect(0, 0, 630, 355);
}

// Our scaling gives swscale's bicubic pictures within rounding; a window of it is exactly that
// part of the whole, and the plain code gives the vector code's pictures.
void TestMencoderColour::scalePassMatchesSwscale()
{
    QFETCH(QSize, in);
    QFETCH(QSize, out);
    QFETCH(QRect, keep);
    if (!mencoder::ColourPass::Fast())
        QSKIP("the pass runs only where the processor has AVX2");
    // Detail at every scale, so that misplaced taps show.
    mencoder::Frame picture = mencoder::NewFrame();
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = in.width();
    picture->height = in.height();
    QVERIFY(av_frame_get_buffer(picture.get(), 0) == 0);
    std::uint32_t noise = 1;
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < (plane ? (in.height() + 1) / 2 : in.height()); ++y)
            for (int x = 0; x < (plane ? (in.width() + 1) / 2 : in.width()); ++x) {
                noise = noise * 1664525u + 1013904223u;
                picture->data[plane][y * picture->linesize[plane] + x] =
                    std::uint8_t(128 + 60 * std::sin(x * 0.05 + y * 0.03 * (plane + 1)) + int(noise >> 28) - 8);
            }
    const mencoder::PictureWindow window{keep.x(), keep.y(), keep.width(), keep.height()};
    mencoder::ScalePass whole(in.width(), in.height(), out.width(), out.height());
    mencoder::ScalePass part(in.width(), in.height(), out.width(), out.height(), window);
    mencoder::ScalePass plain(in.width(), in.height(), out.width(), out.height(), window);
    plain.UsePlainCode();
    const mencoder::Frame all = whole.Run(*picture), kept = part.Run(*picture), slow = plain.Run(*picture);
    QCOMPARE(QSize(kept->width, kept->height), keep.size());

    SwsContext *sws = sws_getContext(in.width(), in.height(), AV_PIX_FMT_YUV420P, out.width(), out.height(),
                                     AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    QVERIFY(sws);
    mencoder::Frame ref = mencoder::NewFrame();
    ref->format = AV_PIX_FMT_YUV420P;
    ref->width = out.width();
    ref->height = out.height();
    QVERIFY(av_frame_get_buffer(ref.get(), 0) == 0);
    sws_scale(sws, picture->data, picture->linesize, 0, in.height(), ref->data, ref->linesize);
    sws_freeContext(sws);

    double squares = 0;
    std::int64_t samples = 0;
    for (int plane = 0; plane < 3; ++plane) {
        const int s = plane ? 1 : 0, w = (out.width() + s) >> s, h = (out.height() + s) >> s;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int d =
                    all->data[plane][y * all->linesize[plane] + x] - ref->data[plane][y * ref->linesize[plane] + x];
                squares += d * d;
                ++samples;
            }
        for (int y = 0; y < (keep.height() + s) >> s; ++y) {
            const std::uint8_t *from =
                all->data[plane] + (y + (keep.y() >> s)) * all->linesize[plane] + (keep.x() >> s);
            const int bytes = (keep.width() + s) >> s;
            QVERIFY2(std::equal(from, from + bytes, kept->data[plane] + y * kept->linesize[plane]),
                     qPrintable(QString("plane %1, row %2 of the window").arg(plane).arg(y)));
            QVERIFY(std::equal(from, from + bytes, slow->data[plane] + y * slow->linesize[plane]));
        }
    }
    const double psnr = squares == 0 ? 100.0 : 10 * std::log10(255.0 * 255.0 * double(samples) / squares);
    qInfo("%s: %.1f dB against swscale", QTest::currentDataTag(), psnr);
    QVERIFY2(psnr >= 50.0, qPrintable(QString::number(psnr)));
}

void TestMencoderColour::lutMatchesDirect_data()
{
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<int>("trc");
    QTest::addColumn<QString>("format");
    QTest::newRow("HLG") << "arib-std-b67" << int(AVCOL_TRC_ARIB_STD_B67) << "yuv420p10le";
    QTest::newRow("PQ") << "smpte2084" << int(AVCOL_TRC_SMPTE2084) << "yuv420p10le";
    // Not one for our colour pass: lut3d reads the LUT from its file.
    QTest::newRow("PQ 4:2:2") << "smpte2084" << int(AVCOL_TRC_SMPTE2084) << "yuv422p10le";
}

// The LUT stands for tone-mapping each picture: the engine's output stays within 45 dB of the
// same pictures tone-mapped directly on ffmpeg's command line, and no LUT file stays behind.
void TestMencoderColour::lutMatchesDirect()
{
    QFETCH(QString, transfer);
    QFETCH(int, trc);
    QFETCH(QString, format);
    QString hdr = HdrClip(transfer);
    QVERIFY(!hdr.isEmpty());
    if (format != "yuv420p10le") {
        const QString other = Path(transfer + "-" + format + ".mkv");
        QVERIFY(Ffmpeg({"-i", hdr, "-pix_fmt", format, "-c:v", "ffv1", "-color_primaries", "bt2020", "-color_trc",
                        transfer, "-colorspace", "bt2020nc", "-color_range", "tv", other}));
        hdr = other;
    }
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString out = Path("lut-out.mp4");
    const Outcome run = ConvertWithTemp(temp.path(), hdr, kHdJob, out);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(!run.err.contains("without a LUT"), run.err.constData());
    QCOMPARE(Listing(temp.path()), QStringList());

    const VideoColour source{AVCOL_PRI_BT2020, AVColorTransferCharacteristic(trc), AVCOL_SPC_BT2020_NCL,
                             AVCOL_RANGE_MPEG};
    const QString direct = QString::fromStdString(
        mencoder::ColourSteps(source, av_get_pix_fmt(qPrintable(format)), mencoder::OutputColour(720)));
    QVERIFY(direct.contains("tonemap"));
    const QString ref = Path("lut-ref.mkv");
    QVERIFY(Ffmpeg({"-i", hdr, "-vf", "scale=1280:720:flags=bicubic," + direct, "-c:v", "ffv1", ref}));
    const double psnr = Psnr(out, ref);
    qInfo("%s: %.1f dB against tone-mapping each picture", QTest::currentDataTag(), psnr);
    QVERIFY2(psnr >= 45.0, qPrintable(QString::number(psnr)));
    QVERIFY2(psnr < 1000.0, "identical to the direct way: the LUT was not used");
}

// A stream that turns from HLG to PQ mid-way gets its graph rebuilt with a LUT of its own.
void TestMencoderColour::lutRemadeMidStream()
{
    const QString parts[] = {Path("hlg.ts"), Path("pq.ts")}, refs[] = {Path("hlg-ref.mkv"), Path("pq-ref.mkv")};
    const QString transfers[] = {"arib-std-b67", "smpte2084"};
    const AVColorTransferCharacteristic trcs[] = {AVCOL_TRC_ARIB_STD_B67, AVCOL_TRC_SMPTE2084};
    const QString src = Path("switch.ts");
    QFile joined(src);
    QVERIFY(joined.open(QIODevice::WriteOnly));
    for (int i = 0; i < 2; ++i) {
        const QString hdr = HdrClip(transfers[i]);
        QVERIFY(!hdr.isEmpty());
        QVERIFY(Ffmpeg({"-i",
                        hdr,
                        "-c:v",
                        "libx264",
                        "-preset",
                        "ultrafast",
                        "-qp",
                        "0",
                        "-pix_fmt",
                        "yuv420p10le",
                        "-color_primaries",
                        "bt2020",
                        "-color_trc",
                        transfers[i],
                        "-colorspace",
                        "bt2020nc",
                        "-color_range",
                        "tv",
                        "-output_ts_offset",
                        QString::number(i),
                        parts[i]}));
        const VideoColour source{AVCOL_PRI_BT2020, trcs[i], AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG};
        const QString direct =
            QString::fromStdString(mencoder::ColourSteps(source, AV_PIX_FMT_YUV420P10LE, mencoder::OutputColour(720)));
        QVERIFY(Ffmpeg({"-i", parts[i], "-vf", direct, "-c:v", "ffv1", refs[i]}));
        QFile part(parts[i]);
        QVERIFY(part.open(QIODevice::ReadOnly));
        joined.write(part.readAll());
    }
    joined.close();
    const QString ref = Path("switch-ref.mkv");
    QVERIFY(Ffmpeg({"-i", refs[0], "-i", refs[1], "-lavfi", "concat=n=2", "-c:v", "ffv1", ref}));

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString out = Path("switch-out.mp4");
    const Outcome run = ConvertWithTemp(temp.path(), src, kHdJob, out);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(Listing(temp.path()), QStringList());
    QCOMPARE(FrameHashes(out).count(' '), FrameHashes(ref).count(' '));
    const double psnr = Psnr(out, ref);
    qInfo("HLG then PQ: %.1f dB against tone-mapping each picture", psnr);
    QVERIFY2(psnr >= 45.0, qPrintable(QString::number(psnr)));
}

// A conversion that fails after its graph was set up leaves no LUT file either; files of an
// engine that was killed meanwhile are cleared, those of a running one kept.
void TestMencoderColour::lutFileGoneAfterFailure()
{
    const QString hdr = HdrClip("arib-std-b67");
    QVERIFY(!hdr.isEmpty());
    QFile whole(hdr);
    QVERIFY(whole.open(QIODevice::ReadOnly));
    const QString cut = Path("hlg-cut.mkv");
    QFile part(cut);
    QVERIFY(part.open(QIODevice::WriteOnly));
    part.write(whole.readAll().left(int(whole.size() / 2)));
    part.close();

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    // Above the kernel's largest pid: no such process can exist.
    const QString stale = "mencoder-lut-99999999-a1b2c3.cube";
    const QString running = QString("mencoder-lut-%1-a1b2c3.cube").arg(::getpid());
    for (const QString &name : {stale, running}) {
        QFile f(temp.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const Outcome run = ConvertWithTemp(temp.path(), cut, kHdJob, Path("cut-out.mp4"));
    QVERIFY2(run.exitCode != 0 && !run.crashed, run.err.constData());
    QVERIFY2(run.err.contains("cut short"), run.err.constData());
    QCOMPARE(Listing(temp.path()), QStringList{running});
}

void TestMencoderColour::matrixAndRange_data()
{
    QTest::addColumn<QStringList>("make"); // ffmpeg arguments from soft709.mkv to the source
    QTest::addColumn<QString>("job");
    QTest::addColumn<QString>("reference");   // ffmpeg's own filters for the correct result
    QTest::addColumn<QString>("unconverted"); // the same geometry, colours left as they are

    QTest::newRow("BT.709 HD source, SD job")
        << QStringList{"-c:v", "copy"} << kSdJob
        << "scale=852:480:flags=bicubic,colorspace=iall=bt709:all=bt601-6-525:fast=1,crop=720:480"
        << "scale=852:480:flags=bicubic,crop=720:480";
    QTest::newRow("SD source (BT.601), HD job")
        << QStringList{"-vf", "scale=640:480:flags=bicubic,setsar=1,colorspace=iall=bt709:all=bt601-6-525:fast=1",
                       "-c:v", "ffv1"}
        << kHdJob43 << "scale=960:720:flags=bicubic,colorspace=iall=bt601-6-525:all=bt709:fast=1,pad=1280:720:160:0"
        << "scale=960:720:flags=bicubic,pad=1280:720:160:0";
    QTest::newRow("full range BT.709, HD job") << QStringList{"-vf",
                                                              "scale=in_range=tv:out_range=pc",
                                                              "-c:v",
                                                              "ffv1",
                                                              "-color_primaries",
                                                              "bt709",
                                                              "-color_trc",
                                                              "bt709",
                                                              "-colorspace",
                                                              "bt709",
                                                              "-color_range",
                                                              "pc"}
                                               << kHdJob << "scale=in_range=pc:out_range=tv"
                                               << "null";
    QTest::newRow("BT.601 tagged HD source, HD job") << QStringList{"-vf",
                                                                    "colorspace=iall=bt709:all=bt601-6-525:fast=1",
                                                                    "-c:v",
                                                                    "ffv1",
                                                                    "-color_primaries",
                                                                    "smpte170m",
                                                                    "-color_trc",
                                                                    "smpte170m",
                                                                    "-colorspace",
                                                                    "smpte170m"}
                                                     << kHdJob << "colorspace=iall=bt601-6-525:all=bt709:fast=1"
                                                     << "null";
}

void TestMencoderColour::matrixAndRange()
{
    QFETCH(QStringList, make);
    QFETCH(QString, job);
    QFETCH(QString, reference);
    QFETCH(QString, unconverted);
    const QString unconvertedChain = unconverted;
    const QString source = Path("matrix-src.mkv");
    QVERIFY(Ffmpeg(QStringList{"-i", Path("soft709.mkv")} + make + QStringList{source}));
    const QString out = Path("matrix-out.mp4");
    const Outcome run = Convert(source, job, out);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    const QString ref = Path("matrix-ref.mkv");
    QVERIFY(Ffmpeg({"-i", source, "-vf", reference + ",format=yuv420p", "-c:v", "ffv1", ref}));
    const double psnr = Psnr(out, ref);
    // Against the same pictures left unconverted, to show the measurement can tell.
    const QString plain = Path("matrix-plain.mkv");
    QVERIFY(Ffmpeg({"-i", source, "-vf", unconvertedChain + ",format=yuv420p", "-c:v", "ffv1", plain}));
    const double left = Psnr(plain, ref);
    qInfo("%s: %.1f dB against the reference (left unconverted: %.1f dB)", QTest::currentDataTag(), psnr, left);
    QVERIFY2(psnr >= 40.0, qPrintable(QString::number(psnr)));
    QVERIFY(left < 40.0);
}

// An SDR BT.709 source in the HD job needs nothing: no colour filter may touch its pictures.
// Lossless output shows them as the plain chain on ffmpeg's command line makes them.
void TestMencoderColour::plainPathUnchanged()
{
    const QString out = Path("plain-out.mp4");
    const Outcome run = Convert(Path("sdr709.mkv"), kHdJob, out);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QString ref = Path("plain-ref.mkv");
    QVERIFY(
        Ffmpeg({"-i", Path("sdr709.mkv"), "-vf", "scale=1280:720:flags=bicubic,format=yuv420p", "-c:v", "ffv1", ref}));
    const QString ours = FrameHashes(out);
    QVERIFY(!ours.isEmpty());
    QCOMPARE(ours, FrameHashes(ref));
    const QJsonObject v = Stream(Probe(out), "video");
    QCOMPARE(v["color_space"].toString(), QString("bt709"));
}

QTEST_GUILESS_MAIN(TestMencoderColour)
#include "tst_mencoder_colour.moc"
