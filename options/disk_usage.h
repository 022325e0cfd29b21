#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Size and fill of the file system that holds a folder. Linux has no drive letters: the
// mount point of the folder's file system stands for the drive, so "another drive" means
// another mounted file system. Any thread.
struct DiskUsage {
    QString root;      // mount point, "/" or "/home"; never empty
    QString device;    // "/dev/sda2", "tmpfs"; may be empty
    quint64 total = 0; // bytes
    // Bytes this user may still write; never above total. Blocks the file system keeps for
    // root count as used, so "free" never promises room that outputs cannot take.
    quint64 free = 0;

    quint64 Used() const { return total - free; }
    quint64 Available() const { return total - Used(); }
    // Whole percentages of the total, rounded down; 0 when the total is 0.
    quint64 UsedPercent() const;
    quint64 FreePercent() const;
};

// The figures for the file system holding folder; nullopt when folder is not an existing
// directory or its file system cannot be read.
std::optional<DiskUsage> ReadDiskUsage(const QString &folder);

// "953 MB" below one gigabyte, else "931.5 GB": whole megabytes, and for gigabytes one digit
// taken from the remaining megabytes divided by 100, rounded on the tens (so 1,075 MB shows
// 1.1 GB and 2,047 MB shows 2.0 GB), which is not a true tenth of a gigabyte.
QString FormatDiskSize(quint64 bytes);
