#include "page/list_keeper.h"

#include "page/job_rows.h"
#include "widgets/file_list_ctrl.h"

ListKeeper::ListKeeper(JobRows &rows, const QString &name)
    : m_rows(rows)
    , m_store(name)
    , m_enabled(!name.isEmpty())
{
    m_pending.setSingleShot(true);
    m_pending.setInterval(0);
    connect(&m_pending, &QTimer::timeout, this, &ListKeeper::Flush);
    if (!m_enabled)
        return;
    // The model is where every change of the list passes, whoever makes it.
    const QAbstractItemModel *model = m_rows.List().model();
    // The first change of a turn sets the write going; the others of that turn ride along.
    const auto schedule = [this] {
        if (!m_pending.isActive())
            m_pending.start();
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, schedule);
    connect(model, &QAbstractItemModel::rowsRemoved, this, schedule);
    connect(model, &QAbstractItemModel::rowsMoved, this, schedule);
    connect(model, &QAbstractItemModel::dataChanged, this, schedule);
    connect(model, &QAbstractItemModel::modelReset, this, schedule);
    connect(model, &QAbstractItemModel::layoutChanged, this, schedule);
}

ListKeeper::~ListKeeper()
{
    if (m_pending.isActive())
        Flush();
}

int ListKeeper::Restore()
{
    if (!m_enabled)
        return 0;
    int restored = 0;
    for (const KeptRow &row : m_store.Load())
        restored += m_rows.RestoreRow(row.path, row.checked, row.status, row.reason) ? 1 : 0;
    return restored;
}

void ListKeeper::Flush()
{
    m_pending.stop();
    // A failed write (disk full, no state folder) leaves the last list; the next change retries.
    if (m_enabled && m_store.Save(CurrentRows()))
        emit saved();
}

QList<KeptRow> ListKeeper::CurrentRows() const
{
    const FileListCtrl &list = m_rows.List();
    QList<KeptRow> rows;
    rows.reserve(list.RowCount());
    for (int row = 0; row < list.RowCount(); ++row) {
        rows.append({list.RowPath(row), list.IsChecked(row), RowStatus(list.RowStatusCode(row)),
                     m_rows.RowReason(row)});
    }
    return rows;
}
