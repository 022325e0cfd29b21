#include "test_pictures.h"

#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QtEndian>

namespace testpic {

QImage Photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(40, 160, 90));
    gradient.setColorAt(1, QColor(230, 220, 120));
    p.fillRect(image.rect(), gradient);
    p.fillRect(QRect(0, 0, width / 4, height / 4), QColor(220, 20, 20));
    p.fillRect(QRect(width - width / 4, height - height / 4, width / 4, height / 4), QColor(20, 30, 220));
    p.end();
    return image;
}

bool WriteJpeg(const QString &path, const QImage &image, bool progressive, int quality)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

bool WriteImage(const QString &path, const QImage &image, const char *format)
{
    QImageWriter writer(path, format);
    return writer.write(image);
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteJpegWithOrientation(const QString &path, const QImage &stored, int orientation)
{
    if (!WriteJpeg(path, stored))
        return false;
    QByteArray jpeg = ReadBytes(path);
    // Big-endian TIFF header, one IFD with one SHORT entry: 0x0112 orientation.
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("MM\0\x2A\0\0\0\x08", 8);
    exif += QByteArray("\0\x01", 2);
    exif += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);
    exif += char(0);
    exif += char(orientation);
    exif += QByteArray("\0\0", 2);
    exif += QByteArray("\0\0\0\0", 4);
    QByteArray app1("\xFF\xE1", 2);
    const quint16 length = quint16(exif.size() + 2);
    app1 += char(length >> 8);
    app1 += char(length & 0xFF);
    app1 += exif;
    jpeg.insert(2, app1); // right after SOI
    return WriteBytes(path, jpeg);
}

namespace {

quint32 Crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray Chunk(const char *type, const QByteArray &body)
{
    QByteArray out(4, 0);
    qToBigEndian<quint32>(quint32(body.size()), out.data());
    const QByteArray typed = QByteArray(type, 4) + body;
    out += typed;
    QByteArray crc(4, 0);
    qToBigEndian<quint32>(Crc32(typed), crc.data());
    return out + crc;
}

} // namespace

bool WritePngBomb(const QString &path, quint32 width, quint32 height)
{
    QByteArray ihdr(13, 0);
    qToBigEndian<quint32>(width, ihdr.data());
    qToBigEndian<quint32>(height, ihdr.data() + 4);
    ihdr[8] = 8; // bit depth
    ihdr[9] = 2; // RGB
    // A few kilobytes of zeros deflate to almost nothing: the body of a bomb, cut short.
    const QByteArray body = qCompress(QByteArray(64 * 1024, 0)).mid(4);
    QByteArray png("\x89PNG\r\n\x1A\n", 8);
    png += Chunk("IHDR", ihdr) + Chunk("IDAT", body) + Chunk("IEND", {});
    return WriteBytes(path, png);
}

bool Run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QColor MeanColor(const QImage &image, int x, int y, int r)
{
    long red = 0, green = 0, blue = 0, n = 0;
    for (int yy = qMax(0, y - r); yy <= qMin(image.height() - 1, y + r); ++yy) {
        for (int xx = qMax(0, x - r); xx <= qMin(image.width() - 1, x + r); ++xx) {
            const QRgb c = image.pixel(xx, yy);
            red += qRed(c);
            green += qGreen(c);
            blue += qBlue(c);
            ++n;
        }
    }
    return n ? QColor(int(red / n), int(green / n), int(blue / n)) : QColor();
}

bool Near(const QColor &a, const QColor &b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

} // namespace testpic
