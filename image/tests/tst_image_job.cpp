#include "image/image_job.h"
#include "test_pictures.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace testpic;

class TestImageJob : public QObject {
    Q_OBJECT

private slots:
    void fitToBox_data();
    void fitToBox();
    void formatFromPath_data();
    void formatFromPath();
    void outputNames();
    void convertsPicturesAsUsersHaveThem_data();
    void convertsPicturesAsUsersHaveThem();
    void orientation_data();
    void orientation();
    void badInputLeavesNothing_data();
    void badInputLeavesNothing();
    void neverReplacesAnExistingFile();
    void loadedPictureWritesUnderAnotherName();
    void unwritableFolderFails();
    void convertsVeryLargePictures();

private:
    // Files in dir other than the ones named: outputs and temporaries left behind.
    static QStringList Leftovers(const QString &dir, const QStringList &expected = {});
    QTemporaryDir m_dir;
};

QStringList TestImageJob::Leftovers(const QString &dir, const QStringList &expected)
{
    QStringList found = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : expected)
        found.removeAll(name);
    return found;
}

void TestImageJob::fitToBox_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("landscape photo in HD is height-bound") << QSize(4000, 3000) << QSize(1280, 720) << QSize(960, 720);
    QTest::newRow("square picture in HD") << QSize(1000, 1000) << QSize(1280, 720) << QSize(720, 720);
    QTest::newRow("portrait in a square box grows past it") << QSize(3000, 4000) << QSize(800, 800) << QSize(800, 1066);
    QTest::newRow("turned portrait fits as landscape") << QSize(4000, 3000) << QSize(1280, 720) << QSize(960, 720);
    QTest::newRow("16:9 in 16:9 keeps 720, not 719 or 718")
        << QSize(1920, 1080) << QSize(1280, 720) << QSize(1280, 720);
    QTest::newRow("16:9 4K in 16:9") << QSize(3840, 2160) << QSize(1280, 720) << QSize(1280, 720);
    QTest::newRow("odd box width lowered: 1281 becomes 1280")
        << QSize(4000, 1000) << QSize(1281, 720) << QSize(1280, 320);
    QTest::newRow("even width stays") << QSize(4000, 1000) << QSize(1280, 720) << QSize(1280, 320);
    QTest::newRow("odd height-bound width lowered") << QSize(1281, 720) << QSize(2000, 720) << QSize(1280, 720);
    QTest::newRow("small picture enlarged") << QSize(64, 48) << QSize(1280, 720) << QSize(960, 720);
    QTest::newRow("wide panorama width-bound") << QSize(6000, 1000) << QSize(720, 480) << QSize(720, 120);
    QTest::newRow("SD box, 3:2 equals box ratio") << QSize(3000, 2000) << QSize(720, 480) << QSize(720, 480);
    QTest::newRow("square in a square box") << QSize(500, 500) << QSize(800, 800) << QSize(800, 800);
    QTest::newRow("zero box width") << QSize(4000, 3000) << QSize(0, 720) << QSize();
    QTest::newRow("zero box height") << QSize(4000, 3000) << QSize(1280, 0) << QSize();
    QTest::newRow("empty picture") << QSize(0, 3000) << QSize(1280, 720) << QSize();
}

void TestImageJob::fitToBox()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, box);
    QFETCH(QSize, expected);
    QCOMPARE(FitToBox(picture.width(), picture.height(), box.width(), box.height()), expected);
}

void TestImageJob::formatFromPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("format");
    QTest::newRow("jpg") << "/p/a.jpg" << int(ImageFormat::Jpeg);
    QTest::newRow("JPEG upper") << "/p/a.JPEG" << int(ImageFormat::Jpeg);
    QTest::newRow("png mixed case") << "/p/a.Png" << int(ImageFormat::Png);
    QTest::newRow("gif") << "/p/a.gif" << int(ImageFormat::Gif);
    QTest::newRow("jpe is not in the list: BMP") << "/p/a.jpe" << int(ImageFormat::Bmp);
    QTest::newRow("no extension: BMP") << "/p/picture" << int(ImageFormat::Bmp);
    QTest::newRow("last dot counts") << "/p/a.png.gif" << int(ImageFormat::Gif);
}

void TestImageJob::formatFromPath()
{
    QFETCH(QString, path);
    QFETCH(int, format);
    QCOMPARE(int(ImageFormatFromPath(path)), format);
}

void TestImageJob::outputNames()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    QCOMPARE(MakeImageOutputPath(OutputFolder(folder), QStringLiteral("photo.png")), folder + "photo.jpg");
    WriteBytes(folder + "photo.jpg", "x");
    WriteBytes(folder + "photo(1).jpg", "x");
    QCOMPARE(MakeImageOutputPath(OutputFolder(folder), QStringLiteral("photo.bmp")), folder + "photo(2).jpg");
    // Only the last extension goes; names keep spaces, quotes and letters beyond ASCII.
    QCOMPARE(MakeImageOutputPath(OutputFolder(folder), QStringLiteral("my holiday.2024.gif")),
             folder + "my holiday.2024.jpg");
    QCOMPARE(MakeImageOutputPath(OutputFolder(folder), QStringLiteral("l'été \"Ærø\".jpeg")),
             folder + "l'été \"Ærø\".jpg");
    QCOMPARE(MakeImageOutputPath(OutputFolder(folder), QStringLiteral("noext")), folder + "noext.jpg");
    QCOMPARE(MakeImageOutputPath(OutputFolder(folder), QStringLiteral(".hidden")), folder + ".hidden.jpg");
    // A dangling link holds its name too: renaming onto it would fail or follow it.
    QVERIFY(QFile::link(folder + "nowhere", folder + "link.jpg"));
    QCOMPARE(MakeImageOutputPath(OutputFolder(folder), QStringLiteral("link.png")), folder + "link(1).jpg");
}

void TestImageJob::convertsPicturesAsUsersHaveThem_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("expected");
    QTest::addColumn<QColor>("topLeft"); // colour expected near the output's top-left corner

    const QString d = m_dir.path() + QLatin1Char('/');
    const QColor red(220, 20, 20);
    const QImage photo = Photo(1600, 1200);

    QVERIFY(WriteJpeg(d + "baseline.jpg", photo));
    QTest::newRow("baseline JPEG") << d + "baseline.jpg" << QSize(1280, 720) << QSize(960, 720) << red;
    QVERIFY(WriteJpeg(d + "progressive.jpg", photo, true));
    QTest::newRow("progressive JPEG") << d + "progressive.jpg" << QSize(1280, 720) << QSize(960, 720) << red;
    QVERIFY(WriteJpeg(d + "grey.jpg", photo.convertToFormat(QImage::Format_Grayscale8)));
    const QColor grey = QColor(qGray(red.rgb()), qGray(red.rgb()), qGray(red.rgb()));
    QTest::newRow("greyscale JPEG") << d + "grey.jpg" << QSize(720, 480) << QSize(640, 480) << grey;
    QVERIFY(WriteImage(d + "source.png", photo, "png"));
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (!convert.isEmpty()) {
        QVERIFY(Run(convert, {d + "source.png", "-colorspace", "CMYK", "-quality", "92", d + "cmyk.jpg"}));
        QTest::newRow("CMYK JPEG") << d + "cmyk.jpg" << QSize(1280, 720) << QSize(960, 720) << red;
    }
    QTest::newRow("8-bit PNG") << d + "source.png" << QSize(720, 480) << QSize(640, 480) << red;
    QVERIFY(WriteImage(d + "deep.png", photo.convertToFormat(QImage::Format_RGBA64), "png"));
    QTest::newRow("16-bit PNG") << d + "deep.png" << QSize(720, 480) << QSize(640, 480) << red;
    QVERIFY(WriteImage(d + "palette.png", photo.convertToFormat(QImage::Format_Indexed8), "png"));
    QTest::newRow("palette PNG") << d + "palette.png" << QSize(720, 480) << QSize(640, 480) << red;
    QImage alpha(400, 300, QImage::Format_ARGB32);
    alpha.fill(Qt::transparent);
    QPainter(&alpha).fillRect(QRect(200, 150, 200, 150), QColor(20, 30, 220));
    QVERIFY(WriteImage(d + "alpha.png", alpha, "png"));
    QTest::newRow("transparent PNG goes on white")
        << d + "alpha.png" << QSize(720, 480) << QSize(640, 480) << QColor(Qt::white);
    QVERIFY(WriteImage(d + "plain.bmp", photo, "bmp"));
    QTest::newRow("BMP") << d + "plain.bmp" << QSize(1280, 720) << QSize(960, 720) << red;
    QVERIFY(WriteImage(d + "noext", photo, "bmp"));
    QTest::newRow("BMP named without extension") << d + "noext" << QSize(1280, 720) << QSize(960, 720) << red;
    QVERIFY(WriteImage(d + "png named as.jpg", photo, "png"));
    QTest::newRow("PNG named .jpg: content decides")
        << d + "png named as.jpg" << QSize(720, 480) << QSize(640, 480) << red;

    // Animated GIF: a red frame, then a blue one. Only the first counts.
    QImage frame(320, 240, QImage::Format_RGB32);
    frame.fill(red);
    QVERIFY(WriteImage(d + "frame1.png", frame, "png"));
    frame.fill(QColor(20, 30, 220));
    QVERIFY(WriteImage(d + "frame2.png", frame, "png"));
    QVERIFY(Run(QStringLiteral("ffmpeg"),
                {"-v", "error", "-y", "-framerate", "2", "-i", d + "frame%d.png", "-loop", "0", d + "animated.gif"}));
    QTest::newRow("animated GIF, first frame") << d + "animated.gif" << QSize(720, 480) << QSize(640, 480) << red;
    // Content decides for every extension, also where the named decoder exists.
    QVERIFY(QFile::copy(d + "animated.gif", d + "gif named as.bmp"));
    QTest::newRow("GIF named .bmp") << d + "gif named as.bmp" << QSize(720, 480) << QSize(640, 480) << red;
    QVERIFY(QFile::copy(d + "animated.gif", d + "gif named as.jpg"));
    QTest::newRow("GIF named .jpg") << d + "gif named as.jpg" << QSize(720, 480) << QSize(640, 480) << red;
    QVERIFY(WriteImage(d + "bmp named as.png", photo, "bmp"));
    QTest::newRow("BMP named .png") << d + "bmp named as.png" << QSize(1280, 720) << QSize(960, 720) << red;

    QVERIFY(WriteJpegWithOrientation(d + "motion photo.jpg", photo, 1));
    WriteBytes(d + "motion photo.jpg", ReadBytes(d + "motion photo.jpg") + QByteArray(5000, '\x01') + "ftypmp42");
    QTest::newRow("JPEG with data after its end")
        << d + "motion photo.jpg" << QSize(1280, 720) << QSize(960, 720) << red;
    QVERIFY(WriteJpeg(d + "small.jpg", Photo(64, 48)));
    QTest::newRow("small JPEG enlarged") << d + "small.jpg" << QSize(1280, 720) << QSize(960, 720) << red;
    QVERIFY(WriteJpeg(d + "large.jpg", Photo(4000, 3000)));
    QTest::newRow("large JPEG, reduced decoding") << d + "large.jpg" << QSize(720, 480) << QSize(640, 480) << red;
    // Reduced decoding at 1/2 where the reader alone would take 3/8, and sides that do not
    // divide by the reduction: the output size stays exact either way.
    QVERIFY(WriteJpeg(d + "3 to 2.jpg", Photo(3000, 2000)));
    QTest::newRow("3:2 JPEG, reduced by half") << d + "3 to 2.jpg" << QSize(1280, 720) << QSize(1080, 720) << red;
    QVERIFY(WriteJpeg(d + "odd sides.jpg", Photo(3001, 1999)));
    QTest::newRow("odd-sided JPEG, reduced") << d + "odd sides.jpg" << QSize(1280, 720) << QSize(1080, 720) << red;
    QVERIFY(WriteJpeg(d + "ünïcödé 'quoted' \"name\".jpg", photo));
    QTest::newRow("name with quotes and non-ASCII letters")
        << d + "ünïcödé 'quoted' \"name\".jpg" << QSize(1280, 720) << QSize(960, 720) << red;
}

void TestImageJob::convertsPicturesAsUsersHaveThem()
{
    QFETCH(QString, file);
    QFETCH(QSize, box);
    QFETCH(QSize, expected);
    QFETCH(QColor, topLeft);

    QTemporaryDir out;
    const QString folder = out.path() + QLatin1Char('/');
    const QString output = MakeImageOutputPath(OutputFolder(folder), QFileInfo(file).fileName());
    QSize written;
    QCOMPARE(ConvertImage(file, output, {box, 0}, &written), ImageError::None);
    QCOMPARE(written, expected);

    QImageReader reader(output);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QImage image = reader.read();
    QCOMPARE(image.size(), expected);
    QVERIFY2(Near(MeanColor(image, 10, 10), topLeft),
             qPrintable(MeanColor(image, 10, 10).name() + " instead of " + topLeft.name()));
    QCOMPARE(Leftovers(out.path(), {QFileInfo(output).fileName()}), QStringList());
    QVERIFY(QFileInfo(output).permissions() & QFileDevice::ReadOther);
}

void TestImageJob::orientation_data()
{
    QTest::addColumn<int>("exif");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("width"); // source width; large ones take the reduced decoding
    // Where the red corner of the upright picture ends: 0 top-left, 1 top-right,
    // 2 bottom-right, 3 bottom-left (clockwise quarter turns move it one corner on).
    QTest::addColumn<int>("corner");
    QTest::addColumn<QSize>("expected");

    for (const int width : {800, 3200}) {
        const QByteArray path = width > 1000 ? "reduced" : "full";
        QTest::addRow("%s upright", path.data()) << 1 << 0 << width << 0 << QSize(960, 720);
        QTest::addRow("%s phone held upright (EXIF 6)", path.data()) << 6 << 0 << width << 0 << QSize(540, 720);
        QTest::addRow("%s upside down (EXIF 3)", path.data()) << 3 << 0 << width << 0 << QSize(960, 720);
        QTest::addRow("%s EXIF 8", path.data()) << 8 << 0 << width << 0 << QSize(540, 720);
        QTest::addRow("%s turned 90", path.data()) << 1 << 1 << width << 1 << QSize(540, 720);
        QTest::addRow("%s turned 180", path.data()) << 1 << 2 << width << 2 << QSize(960, 720);
        QTest::addRow("%s turned 270", path.data()) << 1 << 3 << width << 3 << QSize(540, 720);
        QTest::addRow("%s EXIF 6 then turned 90", path.data()) << 6 << 1 << width << 1 << QSize(960, 720);
    }
}

void TestImageJob::orientation()
{
    QFETCH(int, exif);
    QFETCH(int, steps);
    QFETCH(int, width);
    QFETCH(int, corner);
    QFETCH(QSize, expected);

    // Store the upright photo the way a camera with that orientation would have.
    const QImage upright = Photo(width, width * 3 / 4);
    QTransform toStored;
    switch (exif) {
    case 3: toStored.rotate(180); break;
    case 6: toStored.rotate(-90); break; // the viewer turns it 90 clockwise to show it
    case 8: toStored.rotate(90); break;
    default: break;
    }
    QImage uprightPortrait = upright;
    if (exif == 6 || exif == 8)
        uprightPortrait = Photo(width * 3 / 4, width); // a phone photo is upright portrait
    const QImage stored = uprightPortrait.transformed(toStored);
    QTemporaryDir dir;
    const QString source = dir.path() + "/IMG 0001.jpg";
    QVERIFY(WriteJpegWithOrientation(source, stored, exif));
    const QString output = dir.path() + "/out.jpg";
    QCOMPARE(ConvertImage(source, output, {QSize(1280, 720), steps}), ImageError::None);

    const QImage image(output);
    QCOMPARE(image.size(), expected);
    const QPoint corners[] = {
        {8, 8}, {image.width() - 9, 8}, {image.width() - 9, image.height() - 9}, {8, image.height() - 9}};
    const QColor red(220, 20, 20);
    for (int c = 0; c < 4; ++c) {
        const bool isRed = Near(MeanColor(image, corners[c].x(), corners[c].y()), red);
        QVERIFY2(isRed == (c == corner), qPrintable(QStringLiteral("corner %1 red: %2").arg(c).arg(isRed)));
    }
}

void TestImageJob::badInputLeavesNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<ImageError>("error");

    const QString d = m_dir.path() + "/bad/";
    QDir().mkpath(d);
    QByteArray jpeg;
    {
        QVERIFY(WriteJpeg(d + "good.jpg", Photo(640, 480)));
        jpeg = ReadBytes(d + "good.jpg");
    }
    WriteBytes(d + "empty.gif", {});
    QTest::newRow("zero-byte GIF") << d + "empty.gif" << QSize(1280, 720) << ImageError::Unreadable;
    WriteBytes(d + "empty.jpg", {});
    QTest::newRow("zero-byte JPEG") << d + "empty.jpg" << QSize(1280, 720) << ImageError::Unreadable;
    WriteBytes(d + "notes.bmp", "shopping list: bread, milk\n");
    QTest::newRow("text named .bmp") << d + "notes.bmp" << QSize(1280, 720) << ImageError::Unreadable;
    WriteBytes(d + "notes.jpg", "shopping list: bread, milk\n");
    QTest::newRow("text named .jpg") << d + "notes.jpg" << QSize(1280, 720) << ImageError::Unreadable;
    QByteArray corrupt = jpeg;
    corrupt.replace(2, 200, QByteArray(200, '\x5A')); // headers and tables overwritten
    WriteBytes(d + "corrupt.jpg", corrupt);
    QTest::newRow("corrupt JPEG") << d + "corrupt.jpg" << QSize(1280, 720) << ImageError::Unreadable;
    WriteBytes(d + "truncated.jpg", jpeg.left(jpeg.size() / 2));
    QTest::newRow("truncated JPEG") << d + "truncated.jpg" << QSize(1280, 720) << ImageError::Unreadable;
    WriteBytes(d + "headers only.jpg", jpeg.left(700));
    QTest::newRow("JPEG cut in its headers") << d + "headers only.jpg" << QSize(1280, 720) << ImageError::Unreadable;
    QVERIFY(WriteImage(d + "whole.png", Photo(640, 480), "png"));
    WriteBytes(d + "truncated.png", ReadBytes(d + "whole.png").left(3000));
    QTest::newRow("truncated PNG") << d + "truncated.png" << QSize(1280, 720) << ImageError::Unreadable;
    QVERIFY(WriteImage(d + "whole.bmp", Photo(640, 480), "bmp"));
    WriteBytes(d + "truncated.bmp", ReadBytes(d + "whole.bmp").left(30000));
    QTest::newRow("truncated BMP") << d + "truncated.bmp" << QSize(1280, 720) << ImageError::Unreadable;
    QVERIFY(Run(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=5",
                                           "-frames:v", "1", d + "whole.gif"}));
    WriteBytes(d + "truncated.gif", ReadBytes(d + "whole.gif").left(2000));
    QTest::newRow("truncated GIF") << d + "truncated.gif" << QSize(1280, 720) << ImageError::Unreadable;
    QVERIFY(WritePngBomb(d + "bomb.png", 100000, 100000));
    QTest::newRow("PNG announcing 100000 x 100000") << d + "bomb.png" << QSize(1280, 720) << ImageError::TooLarge;
    QVERIFY(WritePngBomb(d + "bomb wide.png", 1u << 30, 4));
    QTest::newRow("PNG announcing a 2^30 wide strip")
        << d + "bomb wide.png" << QSize(1280, 720) << ImageError::Unreadable;
    QTest::newRow("missing file") << d + "gone.jpg" << QSize(1280, 720) << ImageError::Unreadable;
    QTest::newRow("box with a zero side") << d + "good.jpg" << QSize(0, 720) << ImageError::BadBox;
    // A 1-pixel-wide strip in a square box would need an 800 x 800000 output.
    QVERIFY(WriteImage(d + "strip.png", Photo(1, 1000), "png"));
    QTest::newRow("output that large") << d + "strip.png" << QSize(800, 800) << ImageError::TooLarge;
    QVERIFY(WriteImage(d + "thread.png", Photo(5000, 1), "png"));
    QTest::newRow("so thin that its output has no height")
        << d + "thread.png" << QSize(1280, 720) << ImageError::TooThin;
}

void TestImageJob::badInputLeavesNothing()
{
    QFETCH(QString, file);
    QFETCH(QSize, box);
    QFETCH(ImageError, error);

    QTemporaryDir out;
    const QString output = out.path() + "/result.jpg";
    const ImageError result = ConvertImage(file, output, {box, 0});
    QVERIFY2(result == error, ImageErrorText(result));
    if (error != ImageError::None)
        QCOMPARE(Leftovers(out.path()), QStringList());
}

void TestImageJob::neverReplacesAnExistingFile()
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/a.png";
    QVERIFY(WriteImage(source, Photo(640, 480), "png"));
    const QString output = dir.path() + "/a(1).jpg";
    WriteBytes(output, "the user's own file");
    QCOMPARE(ConvertImage(source, output, {QSize(1280, 720), 0}), ImageError::OutputTaken);
    QCOMPARE(ReadBytes(output), QByteArray("the user's own file"));
    QCOMPARE(Leftovers(dir.path(), {"a.png", "a(1).jpg"}), QStringList());
}

void TestImageJob::loadedPictureWritesUnderAnotherName()
{
    // A run makes the picture once and, when the chosen name was taken meanwhile, writes it
    // again under a new name.
    QTemporaryDir dir;
    const QString source = dir.path() + "/a.jpg";
    QVERIFY(WriteJpeg(source, Photo(1600, 1200)));
    const LoadedPicture picture = LoadPicture(source, {QSize(1280, 720), 1});
    QCOMPARE(picture.error, ImageError::None);
    QCOMPARE(picture.target, QSize(540, 720));
    const EncodedPicture encoded = EncodePicture(picture);
    WriteBytes(dir.path() + "/taken.jpg", "someone else's");
    QCOMPARE(WritePicture(encoded, dir.path() + "/taken.jpg"), ImageError::OutputTaken);
    QSize written;
    QCOMPARE(WritePicture(encoded, dir.path() + "/free.jpg", &written), ImageError::None);
    QCOMPARE(written, QSize(540, 720));
    QCOMPARE(QImage(dir.path() + "/free.jpg").size(), QSize(540, 720));
    QCOMPARE(ReadBytes(dir.path() + "/taken.jpg"), QByteArray("someone else's"));

    // A failed load carries its reason through.
    const LoadedPicture missing = LoadPicture(dir.path() + "/gone.jpg", {QSize(1280, 720), 0});
    QCOMPARE(WritePicture(EncodePicture(missing), dir.path() + "/gone-out.jpg"), ImageError::Unreadable);
    QCOMPARE(Leftovers(dir.path(), {"a.jpg", "taken.jpg", "free.jpg"}), QStringList());
}

void TestImageJob::unwritableFolderFails()
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/a.jpg";
    QVERIFY(WriteJpeg(source, Photo(640, 480)));
    QCOMPARE(ConvertImage(source, dir.path() + "/no such folder/a.jpg", {QSize(1280, 720), 0}),
             ImageError::WriteFailed);

    // A file standing where the folder should be.
    WriteBytes(dir.path() + "/plain file", "x");
    QCOMPARE(ConvertImage(source, dir.path() + "/plain file/a.jpg", {QSize(1280, 720), 0}), ImageError::WriteFailed);

    // The encoder refuses sides past 65535 after the temporary file was begun: nothing stays.
    const QString strip = dir.path() + "/strip.png";
    QVERIFY(WriteImage(strip, Photo(7000, 1), "png"));
    QCOMPARE(ConvertImage(strip, dir.path() + "/wide.jpg", {QSize(70000, 10), 0}), ImageError::WriteFailed);
    QCOMPARE(Leftovers(dir.path(), {"a.jpg", "plain file", "strip.png"}), QStringList());
}

void TestImageJob::convertsVeryLargePictures()
{
    // 12000 x 12000 still converts: a JPEG through reduced decoding, a PNG decoded in full,
    // which needs the raised reader allocation limit.
    QTemporaryDir dir;
    QImage big(12000, 12000, QImage::Format_RGB32);
    big.fill(QColor(200, 40, 40));
    QPainter(&big).fillRect(QRect(6000, 6000, 6000, 6000), QColor(30, 30, 200));
    QVERIFY(WriteJpeg(dir.path() + "/big.jpg", big, false, 80));
    QImageWriter png(dir.path() + "/big.png", "png");
    png.setCompression(1);
    QVERIFY(png.write(big));
    big = QImage();

    for (const char *name : {"big.jpg", "big.png"}) {
        const QString output = dir.path() + "/out-" + name + ".jpg";
        QCOMPARE(ConvertImage(dir.path() + "/" + name, output, {QSize(1280, 720), 0}), ImageError::None);
        const QImage image(output);
        QCOMPARE(image.size(), QSize(720, 720));
        QVERIFY(Near(MeanColor(image, 100, 100), QColor(200, 40, 40)));
        QVERIFY(Near(MeanColor(image, 600, 600), QColor(30, 30, 200)));
    }
}

QTEST_GUILESS_MAIN(TestImageJob)
#include "tst_image_job.moc"
