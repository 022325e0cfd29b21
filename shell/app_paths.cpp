#include "shell/app_paths.h"
#include "platform/native_name.h"

#include "shell/lang.h"
#include "shell/output_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString GetInstallFolder()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString GetResFilePath(const QString &fileName)
{
    QString name = fileName;
    while (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        name.remove(0, 1);
    return GetInstallFolder() + QStringLiteral("res/") + name;
}

QString GetFileNameWithExt(const QString &path) { return platform::ShownName(QFileInfo(path).fileName()); }

quint64 GetFileSize64(const QString &path)
{
    // Read from the folder entry, never by opening: opening a FIFO waits for a writer. On the
    // name's bytes, which QFileInfo would change where they are no UTF-8.
    const platform::NameInfo info = platform::StatName(path);
    return info.isFile ? static_cast<quint64>(qMax<qint64>(0, info.size)) : 0;
}

quint64 TrimFraction(quint64 value)
{
    while (value > 100)
        value /= 10;
    return value;
}

QString FormatSizeText(quint64 s)
{
    constexpr quint64 KB = 1024, MB = KB * 1024, GB = MB * 1024;
    if (s > GB)
        return QString::asprintf("%llu.%lluGB", s / GB, TrimFraction((s % GB) / MB));
    if (s > MB)
        return QString::asprintf("%llu.%lluMB", s / MB, TrimFraction((s % MB) / KB));
    if (s > KB)
        return QString::asprintf("%llu.%lluKB", s / KB, TrimFraction(s % KB));
    return QString::asprintf("%llu Byte", s);
}

QString FormatFileSize(const QString &path) { return FormatSizeText(GetFileSize64(path)); }

AppPaths AppPaths::Current()
{
    AppPaths p;
    p.installFolder = GetInstallFolder();
    p.resFolder = p.installFolder + QStringLiteral("res");
    p.langFile = p.resFolder + QStringLiteral("/lang.opt");
    return p;
}

QString AppPaths::DefaultOutputFolder(const QString &appName)
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    QString name = appName.trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/'))
        || name.contains(QLatin1Char('\\')))
        name = QStringLiteral("Framepress");
    const OutputFolder folder(docs + QLatin1Char('/') + name);
    folder.Make();
    return folder.Text();
}

QString AppPaths::DefaultOutputFolder() { return DefaultOutputFolder(Lang::Get(QStringLiteral("IDS_APP_NAME"))); }
