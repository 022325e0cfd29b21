#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QMutex>

namespace platform {

namespace {

QMutex g_mutex;
OpenUrlHandler g_handler;

} // namespace

bool OpenUrl(const QUrl &url)
{
    if (!url.isValid() || url.isEmpty())
        return false;
    OpenUrlHandler handler;
    {
        QMutexLocker lock(&g_mutex);
        handler = g_handler;
    }
    return handler ? handler(url) : QDesktopServices::openUrl(url);
}

bool OpenFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    return OpenUrl(QUrl::fromLocalFile(path));
}

OpenUrlHandler SetOpenUrlHandler(OpenUrlHandler handler)
{
    QMutexLocker lock(&g_mutex);
    std::swap(g_handler, handler);
    return handler;
}

} // namespace platform
