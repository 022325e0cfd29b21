#pragma once

#include <QImage>
#include <QString>

// Decodes a PNG at 1/factor of its sides, averaging factor x factor pixels, row by row: a
// picture far larger than its output never exists in memory at full size. Samples of 16 bits
// are cut to 8. A null image on any error, and for interlaced files, whose rows arrive in
// seven passes and so cannot be reduced on the way. Safe on any thread.
QImage ReadPngReduced(const QString &path, int factor);
