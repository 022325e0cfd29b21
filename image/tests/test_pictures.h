#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// Pictures made at test time, as users have them.
namespace testpic {

// A photo-like picture: smooth gradients, a red block in the top-left corner and a blue one in
// the bottom-right, so that orientation and colour can be checked after resampling.
QImage Photo(int width, int height);

bool WriteJpeg(const QString &path, const QImage &image, bool progressive = false, int quality = 90);
bool WriteImage(const QString &path, const QImage &image, const char *format);
// A JPEG with an EXIF APP1 segment carrying only the orientation tag (1..8).
bool WriteJpegWithOrientation(const QString &path, const QImage &stored, int orientation);
// A PNG whose header announces width x height pixels over a tiny compressed body.
bool WritePngBomb(const QString &path, quint32 width, quint32 height);
bool WriteBytes(const QString &path, const QByteArray &bytes);
QByteArray ReadBytes(const QString &path);
// Runs a program; true on exit code 0.
bool Run(const QString &program, const QStringList &args);

// Mean colour of a square of side 2*r+1 around (x, y).
QColor MeanColor(const QImage &image, int x, int y, int r = 3);
// Whether two colours differ by at most tolerance in each channel.
bool Near(const QColor &a, const QColor &b, int tolerance = 40);

} // namespace testpic
