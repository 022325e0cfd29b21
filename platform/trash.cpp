#include "platform/trash.h"

#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

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
        return {TrashResult::Failed, qt_error_string(ENOENT)};
    if (!HomeTrashReady())
        return {TrashResult::NoTrash, {}};
    QFile file(path);
    if (file.moveToTrash())
        return {TrashResult::Trashed, {}};
    // Qt only renames: a file on a drive where no trash of its own can be made would have to
    // cross to the home trash's drive.
    const QString error = file.errorString();
    if (error == qt_error_string(EXDEV) || error.isEmpty())
        return {TrashResult::NoTrash, {}};
    return {TrashResult::Failed, error};
}

} // namespace platform
