#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>

// Every picture we write is sRGB. A source that says it is in other colours (an embedded ICC
// profile, or PNG's cHRM and gAMA) is converted with LittleCMS; a source that says nothing,
// or says sRGB, passes untouched. Safe on any thread.

// The ICC profile describing the picture's colours, read from the file's header (PNG iCCP,
// or cHRM/gAMA made into a profile; JPEG APP2). Empty when the picture is sRGB or says
// nothing. format is QImageReader's name of the decoder ("png", "jpeg").
QByteArray ReadColourProfile(const QString &path, const QByteArray &format);
// The same from an open device, read from its start.
QByteArray ReadColourProfile(QIODevice &device, const QByteArray &format);

// The picture in sRGB, 8 bits a channel, alpha kept (straight, not premultiplied). 16-bit
// pictures are converted from their 16 bits. An empty, unreadable or sRGB profile, or one for
// other colours than the picture's (an RGB profile on a gray picture), returns the picture
// as it is. The result carries no colour space of Qt's, so it is written without a profile.
// An 8-bit picture handed over (moved in) is converted in place where it can be.
QImage ToSrgb(QImage image, const QByteArray &icc);

// Whether 8-bit RGB pictures with this profile are converted by our own tables (matrix-and-curves
// profiles) rather than by LittleCMS's transform; for tests.
bool ConvertsByTables(const QByteArray &icc);
