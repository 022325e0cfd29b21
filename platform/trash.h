#pragma once

#include <QString>

namespace platform {

enum class TrashResult {
    Trashed,   // in a trash, where the user can get it back
    Deleted,   // no trash would take it, so it is gone
    Failed,    // still where it was
};

// Moves a file to the trash, making the home trash ($XDG_DATA_HOME/Trash with files/ and
// info/) first: without it Qt moves the file into files/ under the current folder and reports
// success. Deletes the file only where no trash can be used. Any thread.
TrashResult MoveToTrash(const QString &path);

} // namespace platform
