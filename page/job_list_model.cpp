#include "page/job_list_model.h"

#include "platform/native_name.h"
#include "run/reason_text.h"
#include "shell/app_paths.h"
#include "shell/lang.h"

#include <QAbstractFileIconProvider>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {

// The status column's text colour by row status, the same on both pages so that they read
// alike; the other columns are grey whatever the status.
const QColor kStatusColors[] = {
    QColor(0x66, 0x66, 0x66), // waiting
    QColor(0x00, 0x00, 0x00), // added
    QColor(0x00, 0x66, 0xFF), // converting
    QColor(0xCC, 0x00, 0x00), // failed
    QColor(0xF0, 0xA9, 0x24), // complete
};
const QColor kOtherColumnText(0x63, 0x65, 0x63);

QString PathKey(const QString &path) { return path.toCaseFolded(); }

// The dragged rows as "<model>:<id>,<id>…": a drop takes only ids of its own model.
QByteArray EncodeIds(const void *model, const QList<int> &ids)
{
    QByteArray bytes = QByteArray::number(quintptr(model)) + ':';
    for (int i = 0; i < ids.size(); ++i)
        bytes += (i ? "," : "") + QByteArray::number(ids[i]);
    return bytes;
}

QList<int> DecodeIds(const void *model, const QMimeData *data)
{
    if (!data || !data->hasFormat(JobListModel::RowIdsMimeType()))
        return {};
    const QByteArray bytes = data->data(JobListModel::RowIdsMimeType());
    const qsizetype colon = bytes.indexOf(':');
    bool ok = false;
    if (colon < 0 || bytes.left(colon).toULongLong(&ok) != quintptr(model) || !ok)
        return {};
    QList<int> ids;
    for (const QByteArray &piece : bytes.mid(colon + 1).split(',')) {
        const int id = piece.toInt(&ok);
        if (!ok)
            return {};
        ids << id;
    }
    return ids;
}

} // namespace

QString RowStatusText(int code)
{
    static const char *const kStatusKeys[] = {
        "IDS_STATUS_POSSIBLE", "IDS_STATUS_ADD", "IDS_STATUS_CONVERT", "IDS_STATUS_FAIL", "IDS_STATUS_COMPLATE",
    };
    if (code < 0 || code >= int(std::size(kStatusKeys)))
        return QString();
    return Lang::Get(QString::fromLatin1(kStatusKeys[code]));
}

JobListModel::JobListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void JobListModel::SetColumnTitles(const QStringList &titles)
{
    m_titles = titles;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void JobListModel::SetAcceptedExtensions(const QStringList &extensions) { m_extensions = extensions; }

void JobListModel::SetIconProvider(const QAbstractFileIconProvider *provider)
{
    m_iconProvider = provider;
    m_icons.clear();
}

bool JobListModel::IsAccepted(const QString &path) const
{
    if (path.isEmpty())
        return false;
    if (m_extensions.isEmpty())
        return true;
    const QString suffix = QFileInfo(path).suffix();
    return std::any_of(m_extensions.begin(), m_extensions.end(),
                       [&](const QString &ext) { return ext.compare(suffix, Qt::CaseInsensitive) == 0; });
}

QList<int> JobListModel::Append(const QList<KeptRow> &rows)
{
    QList<JobRow> taken;
    QSet<QString> batch;
    for (const KeptRow &kept : rows) {
        const QString key = PathKey(kept.path);
        if (!IsAccepted(kept.path) || batch.contains(key) || m_pathKeys.contains(key))
            continue;
        batch.insert(key);
        taken.append({m_nextId++, kept.path, kept.checked, kept.status, kept.last, FormatFileSize(kept.path)});
    }
    if (taken.isEmpty())
        return {};
    const bool allCheckedBefore = AllChecked();
    const int first = RowCount();
    QList<int> ids;
    ids.reserve(taken.size());
    beginInsertRows({}, first, first + int(taken.size()) - 1);
    for (JobRow &row : taken) {
        ids << row.id;
        ++m_pathKeys[PathKey(row.path)];
        m_checked += row.checked ? 1 : 0;
        if (m_rowOfIdValid)
            m_rowOfId.insert(row.id, RowCount());
        m_rows.append(std::move(row));
    }
    endInsertRows();
    ChecksChanged(allCheckedBefore);
    return ids;
}

int JobListModel::Remove(const QList<int> &ids)
{
    QList<int> rows;
    for (int id : ids) {
        if (const int row = RowOf(id); row >= 0)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return 0;
    const bool allCheckedBefore = AllChecked();
    // From the bottom up, one removal for each run of neighbouring rows.
    for (qsizetype i = rows.size() - 1; i >= 0;) {
        const int last = rows[i];
        int first = last;
        while (--i >= 0 && rows[i] == first - 1)
            --first;
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row) {
            const JobRow &gone = m_rows[row];
            const auto key = m_pathKeys.find(PathKey(gone.path));
            if (key != m_pathKeys.end() && --key.value() <= 0)
                m_pathKeys.erase(key);
            m_checked -= gone.checked ? 1 : 0;
            m_icons.remove(gone.id);
        }
        m_rows.remove(first, last - first + 1);
        m_rowOfIdValid = false;
        endRemoveRows();
    }
    ChecksChanged(allCheckedBefore);
    return int(rows.size());
}

int JobListModel::IdAt(int row) const { return row >= 0 && row < RowCount() ? m_rows[row].id : kNoRowId; }

int JobListModel::RowOf(int id) const
{
    if (!m_rowOfIdValid) {
        m_rowOfId.clear();
        m_rowOfId.reserve(m_rows.size());
        for (int row = 0; row < RowCount(); ++row)
            m_rowOfId.insert(m_rows[row].id, row);
        m_rowOfIdValid = true;
    }
    return m_rowOfId.value(id, -1);
}

const JobRow *JobListModel::Find(int id) const
{
    const int row = RowOf(id);
    return row < 0 ? nullptr : &m_rows[row];
}

const JobRow &JobListModel::At(int row) const
{
    Q_ASSERT(row >= 0 && row < RowCount());
    return m_rows[row];
}

QList<int> JobListModel::CheckedIds() const
{
    QList<int> ids;
    for (const JobRow &row : m_rows) {
        if (row.checked)
            ids << row.id;
    }
    return ids;
}

QList<KeptRow> JobListModel::KeptRows() const
{
    QList<KeptRow> rows;
    rows.reserve(m_rows.size());
    for (const JobRow &row : m_rows)
        rows.append({row.path, row.checked, row.status, row.last});
    return rows;
}

bool JobListModel::SetChecked(int id, bool on)
{
    const int row = RowOf(id);
    if (row < 0)
        return false;
    if (m_rows[row].checked == on)
        return true;
    const bool allCheckedBefore = AllChecked();
    m_rows[row].checked = on;
    m_checked += on ? 1 : -1;
    emit dataChanged(index(row, NameColumn), index(row, NameColumn), {Qt::CheckStateRole});
    ChecksChanged(allCheckedBefore);
    return true;
}

void JobListModel::SetAllChecked(bool on)
{
    if (m_rows.isEmpty() || m_checked == (on ? RowCount() : 0))
        return;
    const bool allCheckedBefore = AllChecked();
    for (JobRow &row : m_rows)
        row.checked = on;
    m_checked = on ? RowCount() : 0;
    emit dataChanged(index(0, NameColumn), index(RowCount() - 1, NameColumn), {Qt::CheckStateRole});
    ChecksChanged(allCheckedBefore);
}

bool JobListModel::SetStatus(int id, RowStatus status)
{
    const int row = RowOf(id);
    if (row < 0)
        return false;
    m_rows[row].status = status;
    RowChanged(row, {Qt::DisplayRole, Qt::ForegroundRole, Qt::ToolTipRole});
    return true;
}

void JobListModel::SetAllStatus(RowStatus status)
{
    if (m_rows.isEmpty())
        return;
    for (JobRow &row : m_rows)
        row.status = status;
    emit dataChanged(index(0, 0), index(RowCount() - 1, ColumnCount - 1),
                     {Qt::DisplayRole, Qt::ForegroundRole, Qt::ToolTipRole});
}

bool JobListModel::SetLastRun(int id, const LastRun &last)
{
    const int row = RowOf(id);
    if (row < 0)
        return false;
    m_rows[row].last = last;
    RowChanged(row, {Qt::ToolTipRole});
    return true;
}

void JobListModel::LockOrder(bool locked) { m_orderLocked = locked; }

void JobListModel::RowChanged(int row, const QList<int> &roles)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), roles);
}

void JobListModel::ChecksChanged(bool allCheckedBefore)
{
    if (allCheckedBefore != AllChecked())
        emit headerDataChanged(Qt::Horizontal, NameColumn, NameColumn);
    emit checksChanged();
}

// A failed row says why; any other says how its last run ended, if one reached it.
QString JobListModel::StatusTip(const JobRow &row) const
{
    switch (row.last.end) {
    case LastRun::End::None: break;
    case LastRun::End::Failed:
        if (row.status == RowStatus::Failed)
            return ReasonText(row.last.reason);
        return Lang::Get(QStringLiteral("IDS_LAST_RUN_FAILED")).arg(ReasonText(row.last.reason));
    case LastRun::End::Converted:
        if (!row.last.output.isEmpty())
            return Lang::Get(QStringLiteral("IDS_LAST_RUN_CONVERTED")).arg(platform::ShownName(row.last.output));
        break;
    }
    return {};
}

int JobListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : RowCount(); }

int JobListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= ColumnCount)
        return {};
    const JobRow &row = m_rows[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case NameColumn: return platform::ShownName(QFileInfo(row.path).fileName());
        case SizeColumn: return row.sizeText;
        default: return RowStatusText(int(row.status)).left(99);
        }
    case Qt::ToolTipRole:
        if (column == StatusColumn) {
            if (QString tip = StatusTip(row); !tip.isEmpty())
                return tip;
        }
        return data(index, Qt::DisplayRole);
    case Qt::DecorationRole: {
        if (column != NameColumn || !m_iconProvider)
            return {};
        auto icon = m_icons.find(row.id);
        if (icon == m_icons.end())
            icon = m_icons.insert(row.id, m_iconProvider->icon(QFileInfo(row.path)));
        return *icon;
    }
    case Qt::CheckStateRole:
        if (column == NameColumn)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole: {
        if (column != StatusColumn)
            return kOtherColumnText;
        const int code = int(row.status);
        return code >= 0 && code < int(std::size(kStatusColors)) ? kStatusColors[code] : QColor(Qt::black);
    }
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignVCenter);
    default: return {};
    }
}

bool JobListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != NameColumn)
        return false;
    return SetChecked(IdAt(index.row()), value.toInt() == Qt::Checked);
}

Qt::ItemFlags JobListModel::flags(const QModelIndex &index) const
{
    // Rows are dropped between rows (on the list itself), never onto one another.
    if (!index.isValid())
        return m_orderLocked ? Qt::NoItemFlags : Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == NameColumn)
        f |= Qt::ItemIsUserCheckable;
    if (!m_orderLocked)
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole: return m_titles.value(section);
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignVCenter);
    case Qt::CheckStateRole:
        if (section == NameColumn)
            return AllChecked() ? Qt::Checked : Qt::Unchecked;
        return {};
    default: return {};
    }
}

bool JobListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section != NameColumn || role != Qt::CheckStateRole)
        return false;
    SetAllChecked(value.toInt() == Qt::Checked);
    return true;
}

bool JobListModel::moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                            const QModelIndex &destinationParent, int destinationChild)
{
    if (m_orderLocked || sourceParent.isValid() || destinationParent.isValid() || count < 1 || sourceRow < 0
        || sourceRow + count > RowCount() || destinationChild < 0 || destinationChild > RowCount())
        return false;
    // Qt refuses a move onto the rows themselves, or into the gap they already fill.
    if (!beginMoveRows({}, sourceRow, sourceRow + count - 1, {}, destinationChild))
        return false;
    const QList<JobRow> moving = m_rows.mid(sourceRow, count);
    m_rows.remove(sourceRow, count);
    const int to = destinationChild > sourceRow ? destinationChild - count : destinationChild;
    for (int i = 0; i < count; ++i)
        m_rows.insert(to + i, moving[i]);
    m_rowOfIdValid = false;
    endMoveRows();
    return true;
}

QStringList JobListModel::mimeTypes() const { return {RowIdsMimeType()}; }

QMimeData *JobListModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes) {
        if (index.isValid() && index.row() < RowCount())
            rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return nullptr;
    QList<int> ids;
    for (int row : rows)
        ids << m_rows[row].id;
    auto *data = new QMimeData;
    data->setData(RowIdsMimeType(), EncodeIds(this, ids));
    return data;
}

bool JobListModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int, const QModelIndex &) const
{
    return !m_orderLocked && action == Qt::MoveAction && !DecodeIds(this, data).isEmpty();
}

bool JobListModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    int gap = parent.isValid() ? parent.row() : row < 0 || row > RowCount() ? RowCount() : row;
    bool moved = false;
    for (int id : DecodeIds(this, data)) {
        const int from = RowOf(id);
        if (from < 0)
            continue;
        moved |= moveRows({}, from, 1, {}, gap);
        gap = RowOf(id) + 1; // the next dragged row follows this one
    }
    return moved;
}
