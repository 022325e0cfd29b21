#pragma once

#include "run/row_status.h"
#include "run/run_outcome.h"

#include <QList>
#include <QString>

#include <optional>

// One row of a page's list as it is kept between starts.
struct KeptRow {
    QString path;
    bool checked = true;
    RowStatus status = RowStatus::Waiting; // as the list shows it
    LastRun last;
    bool operator==(const KeptRow &) const = default;
};

// A page's rows on disk: one JSON file per page in the state folder, replaced whole and
// synced on every save (AtomicWrite), so that neither a crash nor a full disk leaves less
// than the previous list. Any thread; one writer per page.
class ListStore {
public:
    // name: the page's key; the file is "<name>-list.json".
    explicit ListStore(QString name);

    // StateFolder(): $XDG_STATE_HOME/framepress, or ~/.local/state/framepress.
    static QString Folder();
    QString FilePath() const;

    // Writes the rows in order. False when the file could not be written; the previous one
    // then stays as it was.
    bool Save(const QList<KeptRow> &rows) const;
    // The rows as the next start shows them: one that was converting waits again; an
    // unchecked one shows how its last run ended (converted or failed) even where a later
    // run's start had set it waiting; one whose source is no longer a regular file has
    // failed with SourceGone, unless it was converted. No file is an empty list; nullopt
    // when there is a file but not a list this version can read (damaged, cut short, foreign,
    // or from a later version). Rows that cannot be a source are left out.
    std::optional<QList<KeptRow>> Load() const;
    // Moves an unreadable file out of the way, to "<file>.unreadable" or, when that is taken,
    // "<file>.unreadable.1", ".2" …; returns where it went, empty when it could not be moved.
    QString KeepAside() const;

private:
    QString m_name;
};
