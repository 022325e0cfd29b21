#include "image/image_job.h"

#include "image/picture_colour.h"
#include "image/jpeg_frame.h"
#include "image/picture_integrity.h"
#include "image/png_reduced.h"
#include "platform/native_name.h"
#include "run/end_actions.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileDevice>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <mutex>

namespace {

// Transparent parts go on white: JPEG has no alpha, and black behind a logo looks broken.
QImage OnWhite(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    painter.end();
    return out;
}

// Quality 100, as Qt's writer has always made it; into memory, so that the bytes are ready
// before the output's name is chosen.
QByteArray EncodeJpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, QByteArrayLiteral("jpeg"));
    writer.setQuality(100);
    if (!buffer.open(QIODevice::WriteOnly) || !writer.write(image))
        return {};
    return bytes;
}

ImageError WriteFileBytes(const QByteArray &bytes, const QString &outputPath)
{
    if (platform::NameTaken(outputPath))
        return ImageError::OutputTaken;
    // Hidden, short and in the same folder, so that the final rename is atomic and a crash
    // leaves no file under the user's output name. Made on the folder's bytes, which need not
    // be UTF-8.
    const QString folder = platform::AbsoluteName(outputPath.left(outputPath.lastIndexOf(QLatin1Char('/')) + 1));
    QByteArray temp = platform::NativeName(folder) + "/.framepress-XXXXXX.part";
    const int fd = ::mkostemps(temp.data(), 5, O_CLOEXEC);
    if (fd < 0)
        return ImageError::WriteFailed;
    QFile file;
    bool written = file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    if (!written)
        ::close(fd);
    written = written && file.write(bytes) == bytes.size() && file.flush();
    // Temporary files are private (0600); an output is an ordinary user file. File systems
    // that keep no modes (FAT through FUSE, shares) refuse to set one: the picture stands.
    if (written)
        ::fchmod(fd, 0644);
    file.close();
    // Renaming refuses an existing target (no replace), so a file that appeared meanwhile stays.
    // On the name's bytes: Qt's rename would turn a byte that is no UTF-8 into another name.
    if (!written || !platform::RenameNoReplace(platform::NameFromNative(temp), outputPath)) {
        ::unlink(temp.constData());
        return !written                          ? ImageError::WriteFailed
               : platform::NameTaken(outputPath) ? ImageError::OutputTaken
                                                 : ImageError::WriteFailed;
    }
    const platform::NameInfo output = platform::StatName(outputPath);
    return output.isFile && output.size > 0 ? ImageError::None : ImageError::WriteFailed;
}

} // namespace

const char *ImageErrorText(ImageError error)
{
    switch (error) {
    case ImageError::None: return "converted";
    case ImageError::Unreadable: return "cannot load the picture";
    case ImageError::TooLarge: return "the picture is too large";
    case ImageError::BadBox: return "target box has an empty side";
    case ImageError::TooThin: return "the picture is too long and thin: resized to the box, one side would be no pixel";
    case ImageError::WriteFailed: return "cannot write the output";
    case ImageError::OutputTaken: return "output name taken";
    }
    return "unknown";
}

ImageFormat ImageFormatFromPath(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString ext = (dot < 0 ? path : path.mid(dot + 1)).toUpper();
    if (ext == QLatin1String("JPEG") || ext == QLatin1String("JPG"))
        return ImageFormat::Jpeg;
    if (ext == QLatin1String("PNG"))
        return ImageFormat::Png;
    if (ext == QLatin1String("GIF"))
        return ImageFormat::Gif;
    return ImageFormat::Bmp;
}

QSize FitToBox(int width, int height, int boxWidth, int boxHeight)
{
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0)
        return {};
    const float boxRatio = float(boxWidth) / float(boxHeight);
    const float ratio = float(width) / float(height);
    int outWidth;
    int outHeight;
    if (boxRatio == 1.0f || ratio >= boxRatio) {
        outWidth = boxWidth;
        outHeight = int(float(boxWidth) / ratio);
    } else {
        outHeight = boxHeight;
        outWidth = int(float(boxHeight) * ratio);
    }
    outWidth -= outWidth % 2;
    outHeight -= outHeight % 2;
    return {outWidth, outHeight};
}

QString MakeImageOutputPath(const OutputFolder &folder, const QString &sourceName)
{
    return MakeOutputName(folder, sourceName, QStringLiteral("jpg"));
}

void EnsureImageAllocationLimit()
{
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(kImageAllocationLimitMb); });
}

namespace {

// A JPEG much larger than the output is decoded by libjpeg at 1/2, 1/4 or 1/8 scale and then
// resampled smoothly to the exact size: most of the decoding work is skipped. Asked for the
// output size itself, the reader picks the smallest scale of n/8 that covers it, but 3/8 has
// no fast inverse DCT and costs a fifth more than 1/2; so the largest power-of-two reduction
// that still covers the output is asked for exactly when the sides divide evenly (nothing is
// resampled twice), and the output size otherwise. An empty size: decode in full.
QSize ReducedJpegSize(const QSize &stored, const QSize &output)
{
    for (const int scale : {8, 4, 2}) {
        if (stored.width() / scale >= output.width() && stored.height() / scale >= output.height()) {
            const bool even = stored.width() % scale == 0 && stored.height() % scale == 0;
            return even ? stored / scale : output;
        }
    }
    return {};
}

LoadedPicture LoadFailed(ImageError error)
{
    LoadedPicture picture;
    picture.error = error;
    return picture;
}

// Interlaced PNG rows arrive in seven passes: such a file cannot be reduced row by row.
bool PngInterlaced(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray head = file.read(29);
    return head.size() < 29 || head.mid(12, 4) != "IHDR" || head[28] != 0;
}

qint64 BytesPerPixel(QImage::Format format)
{
    const int bits = format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return std::max<qint64>(1, bits / 8);
}

// Smooth resampling works on premultiplied 32-bit or 64-bit pixels; other formats are
// converted at full size first.
qint64 WorkingBytesPerPixel(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA64_Premultiplied: return 0;
    default: return BytesPerPixel(format) > 4 ? 8 : 4;
    }
}

// How one picture is decoded, from its header alone.
struct DecodePlan {
    ImageError error = ImageError::None;
    QSize target;      // the output size; invalid when only the decoded picture tells
    int pngFactor = 0; // 2 or more: the PNG is decoded reduced by that much
    qint64 bytes = 0;  // decoded picture and working copy
};

DecodePlan Refused(ImageError error)
{
    DecodePlan plan;
    plan.error = error;
    return plan;
}

// The reader's format is decided by the content; sets the reduced size where JPEG gives one.
DecodePlan PlanDecode(QImageReader &reader, const QString &inputPath, const ImageConvertOptions &options)
{
    DecodePlan plan;
    if (options.box.width() <= 0 || options.box.height() <= 0)
        return Refused(ImageError::BadBox);
    if (!reader.canRead())
        return Refused(ImageError::Unreadable);
    const int steps = ((options.rotateSteps % 4) + 4) % 4;

    // Sizes in three orientations: as stored, upright (EXIF applied), turned (ours applied).
    const QSize stored = reader.size();
    if (!stored.isValid())
        return plan;
    if (stored.isEmpty())
        return Refused(ImageError::Unreadable);
    const qint64 pixels = qint64(stored.width()) * stored.height();
    if (pixels > kMaxSourcePixels)
        return Refused(ImageError::TooLarge);
    const bool exifSwaps = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const bool turnSwaps = steps % 2 == 1;
    const QSize upright = exifSwaps ? stored.transposed() : stored;
    const QSize turned = turnSwaps ? upright.transposed() : upright;
    plan.target = FitToBox(turned.width(), turned.height(), options.box.width(), options.box.height());
    if (plan.target.isEmpty())
        return Refused(ImageError::TooThin);
    if (qint64(plan.target.width()) * plan.target.height() > kMaxSourcePixels)
        return Refused(ImageError::TooLarge);
    QSize storedTarget = turnSwaps ? plan.target.transposed() : plan.target;
    if (exifSwaps)
        storedTarget.transpose();

    const QImage::Format format = reader.imageFormat();
    plan.bytes = pixels * (BytesPerPixel(format) + WorkingBytesPerPixel(format));
    const QSize reduced = reader.format() == "jpeg" ? ReducedJpegSize(stored, storedTarget) : QSize();
    if (!reduced.isEmpty()) {
        reader.setScaledSize(reduced);
        plan.bytes = qint64(reduced.width()) * reduced.height() * 4;
    }
    if (reader.format() == "jpeg") {
        // A few megabytes of progressive JPEG can make the decoder hold more than a whole run
        // may: counted with the picture, and refused when that alone is past the budget.
        const qint64 coefficients = JpegCoefficientBytes(inputPath);
        if (coefficients > kImageRunBudgetBytes)
            return Refused(ImageError::TooLarge);
        plan.bytes += coefficients;
    }
    const int factor = std::min(stored.width() / storedTarget.width(), stored.height() / storedTarget.height());
    if (reader.format() == "png" && factor >= 2 && plan.bytes > kImageRunBudgetBytes / 4
        && reader.transformation() == QImageIOHandler::TransformationNone && !PngInterlaced(inputPath)) {
        plan.pngFactor = factor;
        plan.bytes = qint64(stored.width() / factor + 1) * (stored.height() / factor + 1) * 8;
    }
    // Not reduced and too large for the reader's own limit: refused before any allocation.
    if (plan.bytes > qint64(kImageAllocationLimitMb) * 1024 * 1024)
        return Refused(ImageError::TooLarge);
    return plan;
}

} // namespace

qint64 DecodedBytes(const QString &sourcePath, const ImageConvertOptions &options)
{
    EnsureImageAllocationLimit();
    const platform::ReadableName readable(sourcePath);
    const QString &inputPath = readable.Path();
    QImageReader reader(inputPath);
    reader.setDecideFormatFromContent(true);
    return PlanDecode(reader, inputPath, options).bytes;
}

LoadedPicture LoadPicture(const QString &sourcePath, const ImageConvertOptions &options,
                          const std::function<bool(qint64 bytes)> &reserve)
{
    EnsureImageAllocationLimit();
    // Every reader below opens by name; a name that is no UTF-8 reaches them as an open file.
    const platform::ReadableName readable(sourcePath);
    const QString &inputPath = readable.Path();
    QBuffer content; // a JPEG file's bytes, which the reader below may read from: it outlives it
    // Content decides: a GIF named .bmp or a PNG named .jpg is still what it is.
    QImageReader reader(inputPath);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    reader.setQuality(100); // the JPEG reader then uses its accurate DCT and smooth scaling
    const DecodePlan plan = PlanDecode(reader, inputPath, options);
    // A JPEG file is decoded from memory: libjpeg's fast Huffman path needs the next few
    // kilobytes of data at hand, and Qt's reader hands it the whole of an in-memory buffer
    // but only 4 kB at a time from a file (a photo then takes some 5 % less time).
    const QByteArray format = reader.format();
    QFile file(inputPath);
    const bool inMemory = plan.error == ImageError::None && format == "jpeg" && file.open(QIODevice::ReadOnly)
                          && file.size() <= kJpegInMemoryBytes;
    if (reserve && !reserve(plan.bytes + (inMemory ? file.size() : 0)))
        return LoadFailed(ImageError::Unreadable);
    if (plan.error != ImageError::None)
        return LoadFailed(plan.error);
    const int steps = ((options.rotateSteps % 4) + 4) % 4;
    const bool turnSwaps = steps % 2 == 1;
    QSize target = plan.target;

    if (inMemory) {
        content.setData(file.readAll());
        if (!content.open(QIODevice::ReadOnly) || !PictureLooksComplete(content.data(), format))
            return LoadFailed(ImageError::Unreadable);
        // The reader keeps its scaled size, quality and turn, and looks at the content again.
        reader.setDevice(&content);
    } else if (!PictureLooksComplete(inputPath, format)) {
        return LoadFailed(ImageError::Unreadable);
    }
    file.close();
    LoadedPicture picture;
    picture.colourProfile = inMemory ? ReadColourProfile(content, format) : ReadColourProfile(inputPath, format);
    if (inMemory && !content.seek(0))
        return LoadFailed(ImageError::Unreadable);
    picture.image = plan.pngFactor >= 2 ? ReadPngReduced(inputPath, plan.pngFactor) : reader.read();
    if (picture.image.isNull())
        return LoadFailed(ImageError::Unreadable);

    if (!target.isValid()) {
        const QSize size = picture.image.size();
        const QSize turned = turnSwaps ? size.transposed() : size;
        target = FitToBox(turned.width(), turned.height(), options.box.width(), options.box.height());
        if (target.isEmpty())
            return LoadFailed(ImageError::TooThin);
        if (qint64(target.width()) * target.height() > kMaxSourcePixels)
            return LoadFailed(ImageError::TooLarge);
    }
    picture.target = target;
    picture.rotateSteps = steps;
    return picture;
}

EncodedPicture EncodePicture(const LoadedPicture &picture)
{
    const auto failed = [](ImageError error) {
        EncodedPicture encoded;
        encoded.error = error;
        return encoded;
    };
    if (picture.error != ImageError::None)
        return failed(picture.error);
    if (picture.image.isNull() || picture.target.isEmpty())
        return failed(ImageError::Unreadable);
    const int steps = picture.rotateSteps;
    const QSize target = picture.target;
    // Resample before turning: fewer pixels to turn, and a quarter turn is a pure permutation.
    const QSize beforeTurn = steps % 2 == 1 ? target.transposed() : target;
    QImage image = picture.image;
    if (image.size() != beforeTurn)
        image = image.scaled(beforeTurn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // After the reduction, fewer pixels to convert; before the turn, whose copy it replaces.
    // 16-bit pictures are still 16-bit here.
    if (!picture.colourProfile.isEmpty())
        image = ToSrgb(std::move(image), picture.colourProfile);
    if (steps != 0)
        image = image.transformed(QTransform().rotate(90.0 * steps));
    image = OnWhite(image);
    if (image.isNull() || image.size() != target)
        return failed(ImageError::TooLarge); // an allocation on the way failed
    // The pixels are sRGB now, which an untagged JPEG means everywhere.
    if (image.colorSpace().isValid())
        image.setColorSpace(QColorSpace());

    EncodedPicture encoded;
    encoded.jpeg = EncodeJpeg(image);
    encoded.size = image.size();
    encoded.error = encoded.jpeg.isEmpty() ? ImageError::WriteFailed : ImageError::None;
    return encoded;
}

ImageError WritePicture(const EncodedPicture &picture, const QString &outputPath, QSize *outputSize)
{
    if (picture.error != ImageError::None)
        return picture.error;
    const ImageError written = WriteFileBytes(picture.jpeg, outputPath);
    if (written == ImageError::None && outputSize)
        *outputSize = picture.size;
    return written;
}

ImageError ConvertImage(const QString &inputPath, const QString &outputPath, const ImageConvertOptions &options,
                        QSize *outputSize)
{
    return WritePicture(EncodePicture(LoadPicture(inputPath, options)), outputPath, outputSize);
}
