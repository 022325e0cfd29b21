#pragma once

#include <QByteArrayView>
#include <QString>

namespace platform {

// Replaces the file at path with bytes, all or nothing, and on disk before it returns: the
// bytes go to a new file beside it (readable by the owner only), every write, the sync and
// the close are checked, the new file is renamed over path and the folder is synced. False
// when any step fails (a full disk, a file-size limit, an I/O error, no folder); the old file
// is then as it was and the new one is gone, except when only the folder's sync failed after
// the rename, where path already holds the new bytes. Any thread.
bool AtomicWrite(const QString &path, QByteArrayView bytes);

} // namespace platform
