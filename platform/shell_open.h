#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace platform {

// Opens a web address or a folder with the desktop's own program (QDesktopServices::openUrl),
// as a user double-clicking it would. Returns whether the desktop took it. Window thread.
bool OpenUrl(const QUrl &url);
bool OpenFolder(const QString &path);

// Test seam: replaces the desktop; nullptr restores it. Returns the handler set before.
using OpenUrlHandler = std::function<bool(const QUrl &)>;
OpenUrlHandler SetOpenUrlHandler(OpenUrlHandler handler);

} // namespace platform
