#include "options/disk_usage.h"

#include "platform/file_system.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

// part * 100 / whole without overflow for any 64-bit sizes.
quint64 Percent(quint64 part, quint64 whole)
{
    if (whole == 0)
        return 0;
    return quint64(static_cast<unsigned __int128>(part) * 100 / whole);
}

} // namespace

quint64 DiskUsage::UsedPercent() const { return Percent(Used(), total); }

quint64 DiskUsage::FreePercent() const { return Percent(Available(), total); }

std::optional<DiskUsage> ReadDiskUsage(const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return std::nullopt;
    DiskUsage usage;
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.isReady() && !storage.rootPath().isEmpty()) {
        usage.root = storage.rootPath();
        usage.device = QString::fromLocal8Bit(storage.device());
        usage.total = quint64(qMax<qint64>(0, storage.bytesTotal()));
        usage.free = quint64(qMax<qint64>(0, storage.bytesAvailable()));
    } else {
        // No mount table entry for the folder (a chroot or container): ask the file system.
        const auto space = platform::FileSystemOf(QFile::encodeName(folder).toStdString());
        if (!space)
            return std::nullopt;
        usage.root = QFile::decodeName(space->mountRoot.c_str());
        usage.total = space->total;
        usage.free = space->available;
    }
    usage.free = qMin(usage.total, usage.free);
    return usage;
}

QString FormatDiskSize(quint64 bytes)
{
    const quint64 megabytes = bytes >> 20;
    quint64 gigabytes = megabytes / 1024;
    if (gigabytes == 0)
        return QString::asprintf("%llu MB", static_cast<unsigned long long>(megabytes));
    const quint64 rest = megabytes % 1024;
    quint64 digit = rest / 100 + ((rest % 100) / 10 > 4 ? 1 : 0);
    if (digit >= 10) {
        ++gigabytes;
        digit = 0;
    }
    return QString::asprintf("%llu.%1llu GB", static_cast<unsigned long long>(gigabytes),
                             static_cast<unsigned long long>(digit));
}
