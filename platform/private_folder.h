#pragma once

#include <QString>

namespace platform {

// Makes the folder and every missing folder above it, each readable by the owner only (as the
// XDG base folders ought to be); folders already there are left as they are. False when
// something not a folder (a file, a dangling link) stands in the way or a folder cannot be
// made. Any thread.
bool MakePrivateFolder(const QString &path);

} // namespace platform
