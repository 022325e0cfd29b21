#pragma once

#include "page/run_outcome.h"
#include "widgets/row_status.h"

#include <QList>
#include <QString>

// One row of a page's list as it is kept between starts.
struct KeptRow {
    QString path;
    bool checked = true;
    RowStatus status = RowStatus::Waiting;
    Reason reason;
    bool operator==(const KeptRow &) const = default;
};

// A page's unfinished rows on disk: one JSON file per page in the state folder, replaced
// whole on every save so that a crash mid-write leaves the previous list. Any thread; one
// writer per page.
class ListStore {
public:
    // name: the page's key; the file is "<name>-list.json".
    explicit ListStore(QString name);

    // StateFolder(): $XDG_STATE_HOME/framepress, or ~/.local/state/framepress.
    static QString Folder();
    QString FilePath() const;

    // Writes the rows in order, leaving out converted ones. False when the file could not be
    // written; the previous one then stays.
    bool Save(const QList<KeptRow> &rows) const;
    // The rows as the next start shows them: one that was converting waits again, one whose
    // source is no longer a regular file has failed with SourceGone. A missing, garbled or
    // foreign file is an empty list.
    QList<KeptRow> Load() const;

private:
    QString m_name;
};
