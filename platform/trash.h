#pragma once

#include <QString>

namespace platform {

struct TrashResult {
    enum Status {
        Trashed, // in a trash, where the user can get it back
        NoTrash, // no trash would take it (none can be made, or none on its drive): still there
        Failed,  // still where it was, for the reason the system gave
    };
    Status status = Failed;
    QString error; // Failed: the system's words
    bool operator==(Status s) const { return status == s; }
};

// Moves a file to the trash, making the home trash ($XDG_DATA_HOME/Trash with files/ and
// info/) first: without it Qt moves the file into files/ under the current folder and reports
// success. Never deletes: a file no trash takes stays where it is. Any thread.
TrashResult MoveToTrash(const QString &path);

} // namespace platform
