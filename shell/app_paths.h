#pragma once

#include <QString>

// Folders derived from where the running executable lies, and the small path and size
// helpers both file lists use. Window thread (they read QCoreApplication).

// Install folder, with a trailing "/".
QString GetInstallFolder();
// install folder + "res/" + fileName.
QString GetResFilePath(const QString &fileName);
// "name.ext" of a path, for showing: a byte that is no UTF-8 as U+FFFD.
QString GetFileNameWithExt(const QString &path);
// Size in bytes, without opening the file; 0 for anything but a regular file (or a link to one).
quint64 GetFileSize64(const QString &path);
// The number divided by ten as long as it is greater than 100.
quint64 TrimFraction(quint64 value);
// "1.51KB", "1024 Byte", ...: the remainder in the next smaller unit, not a decimal fraction.
QString FormatSizeText(quint64 size);
QString FormatFileSize(const QString &path);

struct AppPaths {
    QString installFolder; // trailing "/"
    QString resFolder;     // no trailing "/"
    QString langFile;

    static AppPaths Current();
    // Documents/<appName>/ with a trailing "/", created with its parents when missing. A name
    // that is empty or would leave Documents ("..", slashes) gives Documents/Framepress/.
    static QString DefaultOutputFolder(const QString &appName);
    // The same with the language file's IDS_APP_NAME.
    static QString DefaultOutputFolder();
};
