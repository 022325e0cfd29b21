#include "platform/trash.h"

#include "platform/native_name.h"
#include "platform/private_folder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace platform {

namespace {

// True once the home trash is there. Qt makes only its last level and, failing that, uses
// the current folder; a relative data folder would lie under the current folder too.
QString HomeTrash()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || QDir::isRelativePath(data))
        return {};
    return QDir::cleanPath(data) + QStringLiteral("/Trash");
}

bool HomeTrashReady()
{
    const QString trash = HomeTrash();
    return !trash.isEmpty() && MakePrivateFolder(trash + QStringLiteral("/files"))
           && MakePrivateFolder(trash + QStringLiteral("/info"));
}

// Qt's trash takes the name as text and would lose a byte that is no UTF-8: the home trash by
// hand, with the original path percent-encoded byte for byte as the trash format wants.
TrashResult MoveRawNameToHomeTrash(const QString &path)
{
    const QByteArray source = NativeName(AbsoluteName(path));
    const QByteArray files = NativeName(HomeTrash() + QStringLiteral("/files/"));
    const QByteArray info = NativeName(HomeTrash() + QStringLiteral("/info/"));
    const QByteArray base = source.mid(source.lastIndexOf('/') + 1);
    const QByteArray text = "[Trash Info]\nPath=" + source.toPercentEncoding("/")
                            + "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + "\n";
    for (int n = 0; n < 1000; ++n) {
        const QByteArray name = n == 0 ? base : base + ' ' + QByteArray::number(n);
        const QByteArray infoPath = info + name + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return {TrashResult::Failed, qt_error_string(errno)};
        const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
        ::close(fd);
        if (written && RenameNoReplace(NameFromNative(source), NameFromNative(files + name)))
            return {TrashResult::Trashed, {}};
        const int error = written ? errno : EIO;
        ::unlink(infoPath.constData());
        if (error == EEXIST)
            continue;
        if (error == EXDEV)
            return {TrashResult::NoTrash, {}};
        return {TrashResult::Failed, qt_error_string(error)};
    }
    return {TrashResult::Failed, qt_error_string(EEXIST)};
}

} // namespace

TrashResult MoveToTrash(const QString &path)
{
    const NameInfo info = StatName(path);
    if (path.isEmpty() || (!info.exists && !info.isLink))
        return {TrashResult::Failed, qt_error_string(ENOENT)};
    if (!HomeTrashReady())
        return {TrashResult::NoTrash, {}};
    if (HasRawBytes(path))
        return MoveRawNameToHomeTrash(path);
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
