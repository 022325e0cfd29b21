#include "movie/output_naming.h"

#include <QFileInfo>

namespace {

bool IsTaken(const QString &path)
{
    // A dangling symbolic link is taken too: writing through it would create its target.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString MakeOutputPath(const QString &saveFolder, const QString &inputPath, const QString &extension)
{
    // completeBaseName keeps "my.holiday" of "my.holiday.mov", as the input's own name.
    const QString name = QFileInfo(inputPath).completeBaseName();
    QString candidate = saveFolder + name + '.' + extension;
    for (int counter = 1; IsTaken(candidate); ++counter)
        candidate = saveFolder + name + '(' + QString::number(counter) + ")." + extension;
    return candidate;
}
