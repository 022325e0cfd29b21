#pragma once

#include "run/list_store.h"

#include <QObject>
#include <QTimer>

#include <memory>

class JobRows;

// Keeps a page's rows between starts: puts the stored rows back into its model once, then
// stores the model's rows after every change of their order, checks, statuses or last runs.
// Changes made in one event-loop turn cost one write, at the end of that turn; a write that
// failed is tried again at the next change, at Flush and when the keeper goes. The lists belong to one running copy at a time: a copy
// that finds them held by another says so once, starts empty and never writes them.
// Window thread.
class ListKeeper : public QObject {
    Q_OBJECT
public:
    // name: the page's key in the store; empty keeps nothing.
    ListKeeper(JobRows &rows, const QString &name);
    ~ListKeeper() override; // a change not yet on disk is written

    // The rows of the last start, added to the model as the store gives them (each under a new
    // id); returns how many it took. A file it cannot read is kept aside, said once, and the
    // list starts empty.
    int Restore();
    // Writes a change not yet on disk now. True when the list as it is now is on disk; false
    // after a failed write and in a copy that keeps nothing.
    bool Flush();
    QString FilePath() const { return m_store.FilePath(); }

signals:
    // The list as it is now is on disk.
    void saved();

private:
    struct Lock;
    void OnChanged();
    QList<KeptRow> CurrentRows() const;

    JobRows &m_rows;
    ListStore m_store;
    std::shared_ptr<Lock> m_lock; // one per process and state folder, shared by both pages
    bool m_writes = false;
    bool m_dirty = false;
    QTimer m_pending;
};
