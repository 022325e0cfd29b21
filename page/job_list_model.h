#pragma once

#include "run/list_store.h"
#include "run/row_status.h"
#include "run/run_outcome.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QStringList>

class QAbstractFileIconProvider;

// One row of a page's job list.
struct JobRow {
    int id = kNoRowId; // the row's name for the session: the same after moves, never reused
    QString path;
    bool checked = true;
    RowStatus status = RowStatus::Waiting;
    LastRun last;     // how the last run that reached the row ended; its tooltip says it
    QString sizeText; // the file's size when it was added
};

// The status column's text for a row-status code (0-4); empty for any other code.
QString RowStatusText(int code);

// A page's list of files to convert: owns the rows and everything shown of them (the name
// with its icon, the size, the status in its colour, a tooltip told from the row's last run,
// the check box), the accepted extensions, and the moves a drag asks for. Views only show it;
// the page, the runs and the kept list name rows by id. The header's check-all box is the
// first column's CheckStateRole header data: checked when every row is. Window thread.
class JobListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, StatusColumn, ColumnCount };
    // What a drag of rows carries: their ids.
    static QString RowIdsMimeType() { return QStringLiteral("application/x-framepress-row-ids"); }

    explicit JobListModel(QObject *parent = nullptr);

    void SetColumnTitles(const QStringList &titles);
    // Extensions without the dot, compared ignoring case; none accepts every file.
    void SetAcceptedExtensions(const QStringList &extensions);
    QStringList AcceptedExtensions() const { return m_extensions; }
    // Where the name column's icons come from (it must outlive the model); none shows none.
    void SetIconProvider(const QAbstractFileIconProvider *provider);

    // Appends rows in one go, in order, each under a new id. A row whose extension is not
    // accepted, or whose path is listed already (ignoring case, also earlier in the batch), is
    // left out, silently. Returns the ids of the rows taken.
    QList<int> Append(const QList<KeptRow> &rows);
    // Removes the rows of these ids; ids no longer listed are passed by. Returns how many went.
    int Remove(const QList<int> &ids);

    int RowCount() const { return int(m_rows.size()); }
    // kNoRowId for a row outside the list.
    int IdAt(int row) const;
    // -1 when no row has this id (any more).
    int RowOf(int id) const;
    const JobRow *Find(int id) const;
    // row must be inside the list.
    const JobRow &At(int row) const;
    // Top to bottom.
    QList<int> CheckedIds() const;
    int CheckedCount() const { return m_checked; }
    // The rows as they are kept between starts.
    QList<KeptRow> KeptRows() const;

    // Each is false, and changes nothing, for an id no row has.
    bool SetChecked(int id, bool on);
    void SetAllChecked(bool on);
    bool SetStatus(int id, RowStatus status);
    void SetAllStatus(RowStatus status);
    bool SetLastRun(int id, const LastRun &last);

    // While the order is locked (a run is active) no row moves: moves and drops are refused.
    void LockOrder(bool locked);
    bool IsOrderLocked() const { return m_orderLocked; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role) override;
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count, const QModelIndex &destinationParent,
                  int destinationChild) override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    // Moves the dragged rows, in their order, to the gap before row (-1: the end).
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

signals:
    // The check box of at least one row changed, or rows came or went.
    void checksChanged();

private:
    bool IsAccepted(const QString &path) const;
    void RowChanged(int row, const QList<int> &roles);
    // Tells the checks' change: the header's box when it flips, and checksChanged.
    void ChecksChanged(bool allCheckedBefore);
    bool AllChecked() const { return !m_rows.isEmpty() && m_checked == RowCount(); }
    QString StatusTip(const JobRow &row) const;

    QList<JobRow> m_rows;
    QStringList m_titles;
    QStringList m_extensions;
    QHash<QString, int> m_pathKeys; // case-folded path -> how many rows have it
    mutable QHash<int, int> m_rowOfId;
    mutable bool m_rowOfIdValid = true;
    mutable QHash<int, QIcon> m_icons; // by id, as asked for
    const QAbstractFileIconProvider *m_iconProvider = nullptr;
    int m_nextId = 1;
    int m_checked = 0;
    bool m_orderLocked = false;
};
