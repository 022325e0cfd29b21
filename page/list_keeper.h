#pragma once

#include "page/list_store.h"

#include <QObject>
#include <QTimer>

class JobRows;

// Keeps a page's unfinished rows between starts: puts the stored rows back into the list
// once, then stores the list after every change of its rows, order, checks, statuses or
// status tooltips (a reason is set with its tooltip). Changes made in one event-loop turn
// cost one write, at the end of that turn. Window thread.
class ListKeeper : public QObject {
    Q_OBJECT
public:
    // name: the page's key in the store; empty keeps nothing.
    ListKeeper(JobRows &rows, const QString &name);
    ~ListKeeper() override;   // a change still pending is written

    // The rows of the last start, added to the list as the store gives them; returns how
    // many the list took.
    int Restore();
    // Writes a pending change now.
    void Flush();
    QString FilePath() const { return m_store.FilePath(); }

signals:
    // The list as it is now is on disk.
    void saved();

private:
    QList<KeptRow> CurrentRows() const;

    JobRows &m_rows;
    ListStore m_store;
    bool m_enabled;
    QTimer m_pending;
};
