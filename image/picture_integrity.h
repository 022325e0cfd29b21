#pragma once

#include <QByteArray>
#include <QString>

// The decoders of JPEG, BMP and GIF fill a cut file's missing part with grey or black and
// report success. A picture cut short must not count as converted, since its source may be
// deleted afterwards, so its structure is checked before decoding. Formats whose decoder
// fails on its own (PNG) pass.
//
// format is the decoder's name as QImageReader::format() gives it ("jpeg", "bmp", "gif").
bool PictureLooksComplete(const QString &path, const QByteArray &format);
// The same for a file's whole content already in memory.
bool PictureLooksComplete(const QByteArray &content, const QByteArray &format);
