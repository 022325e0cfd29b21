#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QPair>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// File names as the file system holds them: bytes, mostly UTF-8 but not always (old disks,
// archives). Qt turns the bytes that are no UTF-8 into U+FFFD, after which the name names no
// file. Here each such byte becomes the lone surrogate U+DC80+byte instead, so the QString
// carries the exact bytes; a valid UTF-8 name decodes as Qt decodes it. Such a name must reach
// the file system through NativeName, never through a Qt file class.
namespace platform {

QString NameFromNative(QByteArrayView bytes);
// The bytes again: U+DC80..U+DCFF alone gives its byte, everything else UTF-8.
QByteArray NativeName(const QString &name);
// Whether the name holds a byte that is no UTF-8 (and so Qt's file classes cannot carry it).
bool HasRawBytes(const QString &name);
// For labels, the log and printing: each raw byte shown as U+FFFD.
QString ShownName(const QString &name);

// The file's kind and size through stat, on the exact bytes. A link counts as what it points to;
// isLink says whether the name itself is one (a dangling link: isLink without exists).
struct NameInfo {
    bool exists = false;
    bool isFile = false;
    bool isDir = false;
    bool isLink = false;
    qint64 size = 0;
    QPair<quint64, quint64> id; // device and inode: the same file under two names
};
NameInfo StatName(const QString &path);
// Whether something holds the name; a dangling symbolic link does too: writing through it would
// create its target.
bool NameTaken(const QString &path);

// Absolute and clean, the current folder read as bytes too.
QString AbsoluteName(const QString &path);

// The names in a folder, byte-exact and sorted, without "." and ".."; none when it cannot be read.
QStringList FolderNames(const QString &folder);

// A path as Qt's file dialogs give it, each byte that is no UTF-8 turned into U+FFFD: the name
// on disk it stands for, found by decoding each folder's entries the same lossy way. The path
// itself when it names a file as it is, or when no entry, or more than one, looks like it.
QString NameOnDisk(const QString &path);

// Renames without replacing: false with errno EEXIST when the new name is taken.
bool RenameNoReplace(const QString &from, const QString &to);

// A name for libraries that open files by name themselves and would lose raw bytes (Qt's image
// reader, MediaInfo): the name itself when it is plain UTF-8, else /proc/self/fd/N of the file
// opened here, kept open as long as this object lives.
class ReadableName {
public:
    explicit ReadableName(const QString &path);
    ~ReadableName();
    ReadableName(const ReadableName &) = delete;
    ReadableName &operator=(const ReadableName &) = delete;
    const QString &Path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace platform
