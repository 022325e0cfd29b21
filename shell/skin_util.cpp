#include "shell/skin_util.h"

#include "shell/app_paths.h"

#include <QDir>
#include <QImage>
#include <QMimeData>
#include <QUrl>

QStringList LocalFiles(const QMimeData *mime)
{
    QStringList paths;
    if (!mime)
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

QSize FrameSize(const QString &image, int frames, QSize fallback)
{
    const QImage picture(GetResFilePath(image));
    if (picture.isNull() || frames < 1)
        return fallback;
    return QSize(picture.width() / frames, picture.height());
}

QString FolderWithSlash(QString folder)
{
    folder = QDir::fromNativeSeparators(folder);
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
