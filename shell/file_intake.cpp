#include "shell/file_intake.h"

#include "platform/native_name.h"
#include "shell/lang.h"

#include <QMimeData>
#include <QUrl>

QStringList ParseExtensionList(const QString &commaSeparated)
{
    QStringList extensions;
    for (const QString &item : commaSeparated.left(199).split(QLatin1Char(','))) {
        const QString ext = item.trimmed().left(9).toLower();
        if (!ext.isEmpty())
            extensions.append(ext);
    }
    return extensions;
}

QString ExtensionDialogFilter(const QString &title, const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &ext : extensions)
        patterns.append(QStringLiteral("*.") + ext);
    if (patterns.isEmpty())
        patterns.append(QStringLiteral("*"));
    return title + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

FileListTexts FileListTexts::FromLang(const QString &extensionsKey)
{
    return {{Lang::Get(QStringLiteral("IDS_LIST_COL_1")), Lang::Get(QStringLiteral("IDS_LIST_COL_2")),
             Lang::Get(QStringLiteral("IDS_LIST_COL_3"))},
            Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")),
            ParseExtensionList(Lang::Get(extensionsKey))};
}

IntakeResult AddFilesInOrder(const QStringList &paths, const std::function<bool(const QString &)> &insert)
{
    IntakeResult result;
    for (const QString &path : paths) {
        const platform::NameInfo info = platform::StatName(path);
        if (info.isDir) {
            result.stoppedAtFolder = true;
            break;
        }
        // A FIFO, socket or device is no file to convert, and reading one may wait forever.
        const bool special = info.exists && !info.isFile;
        if (special || !insert(path)) {
            result.refusedPath = path;
            break;
        }
        ++result.added;
    }
    return result;
}

QStringList LocalFiles(const QMimeData *mime)
{
    QStringList paths;
    if (!mime)
        return paths;
    for (const QUrl &url : mime->urls()) {
        // The path's own bytes: toLocalFile turns those that are no UTF-8 into U+FFFD.
        if (!url.isLocalFile())
            continue;
        if (!url.host().isEmpty())
            paths << url.toLocalFile(); // a share's "//host/path"
        else
            paths << platform::NameFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    }
    return paths;
}
