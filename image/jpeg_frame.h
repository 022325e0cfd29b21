#pragma once

#include <QString>
#include <QtGlobal>

// A progressive JPEG is decoded by collecting every scan's coefficients for the whole picture
// first, at full size, whatever size the pixels are then produced at: 2 bytes a coefficient,
// 6 bytes a pixel for 4:4:4. Baseline JPEG decodes row by row and holds nothing of the kind.
// Returns those bytes for a progressive JPEG, 0 for a baseline one or a header that cannot be
// read (the decoder then refuses it itself).
qint64 JpegCoefficientBytes(const QString &path);
