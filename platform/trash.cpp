#include "platform/trash.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace platform {

TrashResult MoveToTrash(const QString &path)
{
    // Qt makes only the last level of the home trash; when the data folder itself is missing
    // (a fresh account) it moves files into "files/" under the current folder instead.
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Trash/");
    QDir().mkpath(trash + QStringLiteral("files"));
    QDir().mkpath(trash + QStringLiteral("info"));
    QFile file(path);
    if (file.moveToTrash())
        return TrashResult::Trashed;
    return file.remove() ? TrashResult::Deleted : TrashResult::Failed;
}

} // namespace platform
