#pragma once

#include "run/run_outcome.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One file of a run as the log tells it. Movie files add what the engine was started with
// and the last lines it wrote to its standard error; image files leave both empty.
struct RunLogFile {
    FileEnd end;
    QString engineArguments;
    QStringList diagnostics;
};

struct RunLogEntry {
    QString mode; // "movie" or "image"
    QDateTime started;
    QDateTime ended;
    std::optional<RunEnd> end = RunEnd::Finished; // none: the run did not finish (yet)
    QList<RunLogFile> files;
    QString id = {}; // set by Begin: which entry of the file Complete replaces
};

// The run log: a text file a person reads, one entry per run, the newest last, only the
// last kKeptRuns runs kept. A run's entry is written when it starts, saying it did not
// finish, and completed at its end, so that a run the program never saw to its end (killed,
// crashed, the machine gone) shows as such. Each write replaces the file atomically and
// synced (AtomicWrite).
// Entries begin with kEntryMarker on a line of its own; whatever stands before the first
// marker is not ours and is dropped, every entry after it is kept as written. Control
// characters in names and diagnostics are escaped, so no value can start a line, let alone
// fake a marker.
// Lives on the window thread; no two runs append at once.
class RunLog {
public:
    static constexpr int kKeptRuns = 20;
    static constexpr const char *kEntryMarker = "==== run ====";

    explicit RunLog(QString folder = DefaultFolder());

    // StateFolder(): $XDG_STATE_HOME/framepress, or ~/.local/state/framepress.
    static QString DefaultFolder();
    QString Folder() const { return m_folder; }
    QString Path() const; // <folder>/runs.log, RunLogPath() for the default folder

    // Each creates the folder (0700) when missing and keeps the last kKeptRuns entries. False,
    // with the old log as it was, when the folder cannot be made, the old log cannot be read,
    // or the new one cannot be written.
    // Adds the entry of a run that starts, as one that did not finish, and gives it its id.
    bool Begin(RunLogEntry &entry);
    // Replaces the entry Begin wrote by this one, or adds it where that has gone meanwhile.
    bool Complete(const RunLogEntry &entry);
    // Adds an entry written whole.
    bool Append(const RunLogEntry &entry);

private:
    bool Write(const RunLogEntry &entry);

    QString m_folder;
};
