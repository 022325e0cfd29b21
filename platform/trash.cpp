#include "platform/trash.h"

#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {

// True once the home trash is there. Qt makes only its last level and, failing that, uses
// the current folder; a relative data folder would lie under the current folder too.
bool HomeTrashReady()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || QDir::isRelativePath(data))
        return false;
    const QString trash = QDir::cleanPath(data) + QStringLiteral("/Trash");
    return MakePrivateFolder(trash + QStringLiteral("/files")) && MakePrivateFolder(trash + QStringLiteral("/info"));
}

} // namespace

TrashResult MoveToTrash(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        return TrashResult::Failed;
    if (HomeTrashReady()) {
        QFile file(path);
        if (file.moveToTrash())
            return TrashResult::Trashed;
    }
    // A trash on another file system than the file (Qt renames only) or none at all.
    return QFile::remove(path) ? TrashResult::Deleted : TrashResult::Failed;
}

} // namespace platform
