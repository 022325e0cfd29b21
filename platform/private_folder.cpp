#include "platform/private_folder.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

bool MakePrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink())
        return false;
    const QString folder = info.absoluteFilePath();
    const QString parent = info.absolutePath();
    if (parent == folder || !MakePrivateFolder(parent))
        return false;
    // Another process may have made it meanwhile.
    return QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) || QFileInfo(folder).isDir();
}

} // namespace platform
