#pragma once

#include "run/run_outcome.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

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
    RunEnd end = RunEnd::Finished;
    QList<RunLogFile> files;
};

// The run log: a text file a person reads, one entry per run, the newest last, only the
// last kKeptRuns runs kept. Each Append rewrites the file atomically and synced (AtomicWrite).
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

    // Creates the folder (0700) when missing, keeps the last kKeptRuns - 1 entries and adds
    // this one. False, with the old log as it was, when the folder cannot be made, the old
    // log cannot be read, or the new one cannot be written.
    bool Append(const RunLogEntry &entry);

private:
    QString m_folder;
};
