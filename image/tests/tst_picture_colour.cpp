// Pictures tagged with real colour profiles, made here with ImageMagick and judged against
// ImageMagick's own colour-managed conversion to sRGB.

#include "image/image_job.h"
#include "image/picture_colour.h"
#include "test_pictures.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <lcms2.h>
#include <zlib.h>

namespace {

const QString kIcc = QStringLiteral("/usr/share/color/icc/");
const QString kSrgbIcc = kIcc + QStringLiteral("colord/sRGB.icc");

// Profiles no Debian package ships, made from their published numbers.
bool SaveProfile(const QString &path, const cmsCIExyYTRIPLE &primaries, cmsToneCurve *curve)
{
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    const bool saved = profile && cmsSaveProfileToFile(profile, QFile::encodeName(path).constData());
    if (profile)
        cmsCloseProfile(profile);
    return saved;
}

cmsToneCurve *Parametric(int type, std::initializer_list<double> params)
{
    std::vector<cmsFloat64Number> p(params);
    return cmsBuildParametricToneCurve(nullptr, type, p.data());
}

const cmsCIExyYTRIPLE kP3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
const cmsCIExyYTRIPLE kRec2020{{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}};
const cmsCIExyYTRIPLE kSrgbPrimaries{{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
const cmsCIExyYTRIPLE kAdobe{{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};

QString Magick(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("convert"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QString::fromLocal8Bit(p.readAllStandardError()) + " (convert " + args.join(' ') + ")";
    return {};
}

// ImageMagick's normalised RMSE of two pictures, 0..1; -1 when compare failed.
double Rmse(const QString &a, const QString &b)
{
    QProcess p;
    p.start(QStringLiteral("compare"),
            {QStringLiteral("-metric"), QStringLiteral("RMSE"), a, b, QStringLiteral("null:")});
    if (!p.waitForFinished(60000))
        return -1;
    const QString text = QString::fromLocal8Bit(p.readAllStandardError());
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\(([0-9.eE+-]+)\\)")).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// A smooth picture with saturated corners; 16-bit when deep, with an alpha ramp when asked.
// Edges are soft, as in photos: JPEG's halved chroma would blur hard coloured edges by more
// than any colour conversion error.
QImage Source(bool deep, bool alpha, bool gray)
{
    QImage photo = testpic::Photo(60, 40).scaled(240, 160, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (gray)
        return photo.convertToFormat(deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
    QImage image = photo.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    if (alpha) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QColor c = image.pixelColor(x, y);
                c.setAlphaF(0.15f + 0.85f * float(x) / float(image.width() - 1));
                image.setPixelColor(x, y, c);
            }
    } else {
        image = image.convertToFormat(deep ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    }
    return image;
}

// PNG with chunks put in front of the picture data, right after the header chunk.
QByteArray Chunk(const char *type, const QByteArray &data)
{
    QByteArray body = QByteArray(type, 4) + data;
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += body;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
                          crc.data());
    return chunk + crc;
}

QByteArray Be32s(std::initializer_list<double> values)
{
    QByteArray out;
    for (double v : values) {
        QByteArray b(4, '\0');
        qToBigEndian<quint32>(quint32(std::lround(v * 100000)), b.data());
        out += b;
    }
    return out;
}

bool WithChunks(const QString &path, const QByteArray &chunks)
{
    QByteArray png = testpic::ReadBytes(path);
    const qsizetype afterHeader = 8 + 8 + 13 + 4;
    if (png.size() < afterHeader || png.mid(12, 4) != "IHDR")
        return false;
    png.insert(afterHeader, chunks);
    return testpic::WriteBytes(path, png);
}

// Adobe RGB with a device-to-PCS table besides its matrix, one that means something else
// (device values taken as XYZ): LittleCMS converts through the table.
bool SaveWithDeviceTable(const QString &from, const QString &to)
{
    cmsHPROFILE profile = cmsOpenProfileFromFile(QFile::encodeName(from).constData(), "r");
    if (!profile)
        return false;
    cmsPipeline *table = cmsPipelineAlloc(nullptr, 3, 3);
    bool saved = table && cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr))
                 && cmsWriteTag(profile, cmsSigAToB0Tag, table)
                 && cmsSaveProfileToFile(profile, QFile::encodeName(to).constData());
    if (table)
        cmsPipelineFree(table);
    cmsCloseProfile(profile);
    return saved;
}

// Every 4th code of each channel and 255, all combinations, with an alpha that varies.
QImage CodeGrid(bool alpha)
{
    std::vector<int> codes;
    for (int v = 0; v < 256; v += 4)
        codes.push_back(v);
    codes.push_back(255);
    const int n = int(codes.size());
    QImage grid(n * n, n, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < n; ++y) {
        auto *row = reinterpret_cast<QRgb *>(grid.scanLine(y));
        for (int x = 0; x < n * n; ++x)
            row[x] = qRgba(codes[size_t(x / n)], codes[size_t(x % n)], codes[size_t(y)],
                           alpha ? (x * 7 + y * 3) % 256 : 255);
    }
    return grid;
}

// LittleCMS's own 8-bit conversion to its sRGB, as pictures were converted before our tables.
QImage LittleCmsSrgb(const QImage &image, const QByteArray &icc)
{
    QImage out(image.size(), image.format());
    cmsHPROFILE source = cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = source && srgb ? cmsCreateTransform(source, TYPE_BGRA_8, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL,
                                                          cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA)
                                     : nullptr;
    if (t) {
        for (int y = 0; y < image.height(); ++y)
            cmsDoTransform(t, image.constScanLine(y), out.scanLine(y), cmsUInt32Number(image.width()));
        cmsDeleteTransform(t);
    } else {
        out = QImage();
    }
    if (srgb)
        cmsCloseProfile(srgb);
    if (source)
        cmsCloseProfile(source);
    return out;
}

} // namespace

class TestPictureColour : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void taggedMatchesColourManagedReference_data();
    void taggedMatchesColourManagedReference();
    void tablesMatchLittleCms_data();
    void tablesMatchLittleCms();
    void srgbAndUntaggedAlike_data();
    void srgbAndUntaggedAlike();
    void damagedProfileIgnored();

private:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestPictureColour::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const QString &needed : {kSrgbIcc, kIcc + "colord/AdobeRGB1998.icc", kIcc + "Gray.icc"})
        QVERIFY2(QFile::exists(needed), qPrintable(needed
                                                   + " missing: tools/setup.sh installs colord-data "
                                                     "and icc-profiles-free"));
    QVERIFY(SaveProfile(Path("p3.icc"), kP3, Parametric(4, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045})));
    QVERIFY(SaveProfile(Path("rec2020.icc"), kRec2020,
                        Parametric(4, {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081})));
    QVERIFY(SaveProfile(Path("linear.icc"), kSrgbPrimaries, cmsBuildGamma(nullptr, 1.0)));
    QVERIFY(SaveProfile(Path("adobe-gamma22.icc"), kAdobe, cmsBuildGamma(nullptr, 1 / 0.45455)));
    QVERIFY(SaveWithDeviceTable(kIcc + "colord/AdobeRGB1998.icc", Path("adobe-a2b0.icc")));
}

void TestPictureColour::taggedMatchesColourManagedReference_data()
{
    QTest::addColumn<QString>("profile"); // ICC file the pixels are in
    QTest::addColumn<QString>("format");  // png, png8 (palette), jpg
    QTest::addColumn<bool>("deep");       // 16 bits a channel
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("gray");
    QTest::addColumn<QByteArray>("chunks"); // PNG cHRM/gAMA instead of an embedded profile

    const QString adobe = kIcc + "colord/AdobeRGB1998.icc";
    const QString gray = kIcc + "Gray.icc";
    QTest::newRow("Adobe RGB, PNG 8-bit") << adobe << "png" << false << false << false << QByteArray();
    QTest::newRow("Adobe RGB, JPEG") << adobe << "jpg" << false << false << false << QByteArray();
    QTest::newRow("Adobe RGB, PNG 8-bit with alpha") << adobe << "png" << false << true << false << QByteArray();
    QTest::newRow("Adobe RGB, PNG palette") << adobe << "png8" << false << false << false << QByteArray();
    QTest::newRow("ProPhoto RGB, PNG 16-bit") << kIcc + "colord/ProPhotoRGB.icc"
                                              << "png" << true << false << false << QByteArray();
    QTest::newRow("Wide Gamut RGB, PNG 16-bit with alpha") << kIcc + "colord/WideGamutRGB.icc"
                                                           << "png" << true << true << false << QByteArray();
    QTest::newRow("Display P3, JPEG") << "p3.icc"
                                      << "jpg" << false << false << false << QByteArray();
    QTest::newRow("Display P3, PNG 8-bit with alpha") << "p3.icc"
                                                      << "png" << false << true << false << QByteArray();
    QTest::newRow("Rec. 2020, PNG 16-bit") << "rec2020.icc"
                                           << "png" << true << false << false << QByteArray();
    QTest::newRow("linear light, PNG 16-bit") << "linear.icc"
                                              << "png" << true << false << false << QByteArray();
    QTest::newRow("gray profile, PNG 8-bit") << gray << "png" << false << false << true << QByteArray();
    QTest::newRow("gray profile, PNG 16-bit") << gray << "png" << true << false << true << QByteArray();
    QTest::newRow("gray profile, JPEG") << gray << "jpg" << false << false << true << QByteArray();
    QTest::newRow("cHRM and gAMA, Adobe primaries")
        << "adobe-gamma22.icc"
        << "png" << false << false << false
        << Chunk("gAMA", Be32s({0.45455})) + Chunk("cHRM", Be32s({0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06}));
    QTest::newRow("gAMA 1.0, PNG 16-bit") << "linear.icc"
                                          << "png" << true << false << false << Chunk("gAMA", Be32s({1.0}));
}

void TestPictureColour::taggedMatchesColourManagedReference()
{
    QFETCH(QString, profile);
    QFETCH(QString, format);
    QFETCH(bool, deep);
    QFETCH(bool, alpha);
    QFETCH(bool, gray);
    QFETCH(QByteArray, chunks);
    if (!profile.startsWith('/'))
        profile = Path(profile);

    const QString plain = Path("plain.png");
    QFile::remove(plain);
    QVERIFY(testpic::WriteImage(plain, Source(deep, alpha, gray), "png"));
    // The pixels stay as they are; the profile says what they mean.
    const QString ext = format == "jpg" ? "jpg" : "png";
    const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("[^A-Za-z0-9]+"), "-");
    const QString tagged = Path("tagged-" + name + "." + ext);
    const QString prefix = format == "png8" ? "PNG8:" : "";
    if (chunks.isEmpty()) {
        const QString err = Magick({plain, "-profile", profile, "-quality", "97", prefix + tagged});
        QVERIFY2(err.isEmpty(), qPrintable(err));
    } else {
        QVERIFY(QFile::copy(plain, tagged));
        QVERIFY(WithChunks(tagged, chunks));
    }

    // ImageMagick's conversion of the same pixels, from the profile they are in.
    const QString reference = Path("reference.png");
    QFile::remove(reference);
    QStringList args{tagged};
    if (!chunks.isEmpty())
        args << "-strip"
             << "-profile" << profile;
    args << "-profile" << kSrgbIcc;
    if (alpha)
        args << "-background"
             << "white"
             << "-alpha"
             << "remove"
             << "-alpha"
             << "off";
    args << reference;
    const QString err = Magick(args);
    QVERIFY2(err.isEmpty(), qPrintable(err));

    const QString output = Path("out.jpg");
    QFile::remove(output);
    QCOMPARE(ConvertImage(tagged, output, {QSize(240, 160), 0}), ImageError::None);
    QVERIFY(!testpic::ReadBytes(output).contains("ICC_PROFILE")); // sRGB, untagged

    const double rmse = Rmse(output, reference);
    const double untouched = Rmse(output, plain);
    qInfo("%s: RMSE %.2f %% against the reference", QTest::currentDataTag(), rmse * 100);
    QVERIFY2(rmse >= 0 && rmse <= 0.015, qPrintable(QString("RMSE %1").arg(rmse)));
    // The profile mattered: keeping the pixel values would have been visibly off.
    if (!alpha)
        QVERIFY2(Rmse(reference, plain) > 0.02, qPrintable(QString("untouched %1").arg(untouched)));
}

void TestPictureColour::tablesMatchLittleCms_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("tables"); // converted by our tables rather than LittleCMS's transform

    const QString colord = kIcc + "colord/";
    QTest::newRow("Adobe RGB") << colord + "AdobeRGB1998.icc" << false << true;
    QTest::newRow("Adobe RGB with alpha") << colord + "AdobeRGB1998.icc" << true << true;
    QTest::newRow("Display P3") << "p3.icc" << false << true;
    QTest::newRow("Rec. 2020") << "rec2020.icc" << false << true;
    QTest::newRow("ProPhoto RGB") << colord + "ProPhotoRGB.icc" << false << true;
    QTest::newRow("Adobe primaries and gamma 2.2, as cHRM and gAMA") << "adobe-gamma22.icc" << false << true;
    QTest::newRow("linear light") << "linear.icc" << false << true;
    QTest::newRow("a table for the intent besides the matrix") << "adobe-a2b0.icc" << false << false;
}

// 8-bit pictures from matrix profiles go through our tables: the same colours as LittleCMS's
// transform within a code value, alpha untouched, and the caller's picture left as it was.
void TestPictureColour::tablesMatchLittleCms()
{
    QFETCH(QString, profile);
    QFETCH(bool, alpha);
    QFETCH(bool, tables);
    if (!profile.startsWith('/'))
        profile = Path(profile);
    const QByteArray icc = testpic::ReadBytes(profile);
    QVERIFY(!icc.isEmpty());
    QCOMPARE(ConvertsByTables(icc), tables);

    const QImage grid = CodeGrid(alpha);
    const QImage kept = grid.copy();
    const QImage reference = LittleCmsSrgb(grid, icc);
    QVERIFY(!reference.isNull());
    const QImage ours = ToSrgb(grid, icc);
    QCOMPARE(ours.format(), grid.format());
    QCOMPARE(ours.size(), grid.size());
    QVERIFY(grid == kept);

    int worst[3] = {};
    for (int y = 0; y < grid.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(ours.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(reference.constScanLine(y));
        const auto *source = reinterpret_cast<const QRgb *>(grid.constScanLine(y));
        for (int x = 0; x < grid.width(); ++x) {
            worst[0] = std::max(worst[0], std::abs(qRed(a[x]) - qRed(b[x])));
            worst[1] = std::max(worst[1], std::abs(qGreen(a[x]) - qGreen(b[x])));
            worst[2] = std::max(worst[2], std::abs(qBlue(a[x]) - qBlue(b[x])));
            if (qAlpha(a[x]) != qAlpha(source[x]))
                QFAIL(qPrintable(QString("alpha changed at %1, %2").arg(x).arg(y)));
        }
    }
    qInfo("%s: largest difference to LittleCMS R %d, G %d, B %d", QTest::currentDataTag(), worst[0], worst[1],
          worst[2]);
    QVERIFY(worst[0] <= 1 && worst[1] <= 1 && worst[2] <= 1);
}

void TestPictureColour::srgbAndUntaggedAlike_data()
{
    QTest::addColumn<QString>("tagging");
    QTest::newRow("embedded sRGB profile") << "profile";
    QTest::newRow("PNG sRGB chunk") << "sRGB";
    QTest::newRow("PNG gAMA 1/2.2 and sRGB cHRM") << "chunks";
}

// sRGB said in any way is what an untagged picture is taken as: the same bytes come out.
void TestPictureColour::srgbAndUntaggedAlike()
{
    QFETCH(QString, tagging);
    const QString plain = Path("alike-plain.png");
    QFile::remove(plain);
    QVERIFY(testpic::WriteImage(plain, Source(false, true, false), "png"));
    const QString tagged = Path("alike-tagged.png");
    QFile::remove(tagged);
    if (tagging == "profile") {
        const QString err = Magick({plain, "-profile", kSrgbIcc, tagged});
        QVERIFY2(err.isEmpty(), qPrintable(err));
    } else {
        QVERIFY(QFile::copy(plain, tagged));
        QVERIFY(WithChunks(tagged, tagging == "sRGB" ? Chunk("sRGB", QByteArray(1, '\0'))
                                                     : Chunk("gAMA", Be32s({0.45455}))
                                                           + Chunk("cHRM", Be32s({0.3127, 0.3290, 0.64, 0.33, 0.30,
                                                                                  0.60, 0.15, 0.06}))));
    }
    const QString a = Path("alike-a.jpg"), b = Path("alike-b.jpg");
    QFile::remove(a);
    QFile::remove(b);
    QCOMPARE(ConvertImage(plain, a, {QSize(120, 80), 0}), ImageError::None);
    QCOMPARE(ConvertImage(tagged, b, {QSize(120, 80), 0}), ImageError::None);
    const QByteArray bytes = testpic::ReadBytes(a);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(!bytes.contains("ICC_PROFILE"));
    QVERIFY(bytes == testpic::ReadBytes(b));
}

// A profile that cannot be read leaves the picture as an untagged one, never unconverted.
void TestPictureColour::damagedProfileIgnored()
{
    const QString plain = Path("damaged-plain.png");
    QFile::remove(plain);
    QVERIFY(testpic::WriteImage(plain, Source(false, false, false), "png"));
    QByteArray icc = testpic::ReadBytes(kIcc + "colord/AdobeRGB1998.icc");
    QVERIFY(!icc.isEmpty());
    icc.replace(0, 4, QByteArray(4, '\xff')); // the size field
    for (int i = 128; i < icc.size(); i += 7)
        icc[i] = char(~icc[i]);
    uLongf packedSize = compressBound(uLong(icc.size()));
    QByteArray packed(qsizetype(packedSize), '\0');
    QCOMPARE(compress(reinterpret_cast<Bytef *>(packed.data()), &packedSize,
                      reinterpret_cast<const Bytef *>(icc.constData()), uLong(icc.size())),
             Z_OK);
    packed.resize(qsizetype(packedSize));
    const QString tagged = Path("damaged.png");
    QFile::remove(tagged);
    QVERIFY(QFile::copy(plain, tagged));
    QVERIFY(WithChunks(tagged, Chunk("iCCP", QByteArray("broken\0\0", 8) + packed.left(packed.size() / 2))));
    const QString a = Path("damaged-a.jpg"), b = Path("damaged-b.jpg");
    QFile::remove(a);
    QFile::remove(b);
    QCOMPARE(ConvertImage(plain, a, {QSize(120, 80), 0}), ImageError::None);
    QCOMPARE(ConvertImage(tagged, b, {QSize(120, 80), 0}), ImageError::None);
    QVERIFY(testpic::ReadBytes(a) == testpic::ReadBytes(b));
}

QTEST_GUILESS_MAIN(TestPictureColour)
#include "tst_picture_colour.moc"
