#include "platform/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {

// Makes the folder and its missing parents readable by the owner only, as the trash and
// data folders ought to be.
bool MakePrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink())
        return false;
    const QString parent = info.path();
    if (parent == path || !MakePrivateFolder(parent))
        return false;
    return QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) || QFileInfo(path).isDir();
}

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
