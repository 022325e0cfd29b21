#pragma once

#include <QString>

namespace platform {

enum class TrashResult { Trashed, Deleted, Failed };

// Moves a file to the user's trash; plain deletion only where no trash can be used.
TrashResult MoveToTrash(const QString &path);

} // namespace platform
