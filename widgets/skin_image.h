#pragma once

#include <QImage>
#include <QString>

// Loads a skin bitmap and turns its magenta (0xFF00FF) pixels transparent, so that drawing it
// leaves the background visible there. A file that cannot be read gives a null image.
QImage LoadKeyedImage(const QString &path);
