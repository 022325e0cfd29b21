#include "shell/current_folder.h"

#include "platform/registry.h"
#include "shell/lang.h"

#include <QStringList>

namespace {

constexpr int kPathChars = 260;

} // namespace

QString CurrentFolderKey()
{
    const QString appName = ReadProfileString(QString(), QStringLiteral("option"), QStringLiteral("App_Name"),
                                              QStringLiteral("DEFAULT_APP_NAME"), 200);
    return QStringLiteral("software\\BRIVO_NAME\\%1").arg(appName);
}

std::optional<QString> ReadCurrentFolder()
{
    const QString key = CurrentFolderKey();
    // The name comes from a file; it must not lead the read out of the settings folder.
    const QStringList parts = QString(key).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")) || parts.contains(QStringLiteral(".")))
        return std::nullopt;
    if (!platform::Registry::KeyExists(key))
        return std::nullopt;
    const platform::Registry registry(key);
    const std::optional<QString> folder = registry.ReadString(QStringLiteral("Current Folder"));
    if (!folder || folder->size() >= kPathChars)
        return std::nullopt;
    return folder;
}
