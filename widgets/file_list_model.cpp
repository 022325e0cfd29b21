#include "widgets/file_list_model.h"

namespace {
const QColor kOtherColumnText(0x63, 0x65, 0x63);
}

FileListModel::FileListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_textColors.fill(QColor(Qt::black));
    m_backgrounds.fill(QColor(Qt::white));
}

int FileListModel::AddColumn(const QString &title, Qt::Alignment alignment)
{
    const int column = int(m_columns.size());
    beginInsertColumns({}, column, column);
    m_columns.append({title, alignment});
    for (FileListRow &row : m_rows)
        row.texts.resize(m_columns.size());
    endInsertColumns();
    return column;
}

const FileListRow *FileListModel::Row(int row) const
{
    if (row < 0 || row >= RowCount())
        return nullptr;
    return &m_rows[row];
}

void FileListModel::AppendRow(FileListRow row) { AppendRows({std::move(row)}); }

void FileListModel::AppendRows(QList<FileListRow> rows)
{
    if (rows.isEmpty())
        return;
    const int first = RowCount();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    for (FileListRow &row : rows) {
        row.texts.resize(qMax(m_columns.size(), qsizetype(1)));
        ++m_pathKeys[PathKey(row.path)];
        m_rows.append(std::move(row));
    }
    endInsertRows();
    emit checksChanged();
}

bool FileListModel::RemoveRow(int row)
{
    if (row < 0 || row >= RowCount())
        return false;
    beginRemoveRows({}, row, row);
    const auto key = m_pathKeys.find(PathKey(m_rows[row].path));
    if (key != m_pathKeys.end() && --key.value() <= 0)
        m_pathKeys.erase(key);
    m_rows.removeAt(row);
    endRemoveRows();
    emit checksChanged();
    return true;
}

bool FileListModel::MoveRow(int from, int to)
{
    if (from < 0 || from >= RowCount() || to < 0 || to >= RowCount())
        return false;
    if (from == to)
        return true;
    // Qt names the destination as the row the moved one is placed before.
    if (!beginMoveRows({}, from, from, {}, to > from ? to + 1 : to))
        return false;
    m_rows.move(from, to);
    endMoveRows();
    return true;
}

int FileListModel::FindPath(const QString &path) const
{
    if (!m_pathKeys.contains(PathKey(path)))
        return -1;
    for (int i = 0; i < RowCount(); ++i) {
        if (m_rows[i].path.compare(path, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool FileListModel::SetChecked(int row, bool on)
{
    if (row < 0 || row >= RowCount())
        return false;
    if (m_rows[row].checked != on) {
        m_rows[row].checked = on;
        emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
        emit checksChanged();
    }
    return true;
}

void FileListModel::SetAllChecked(bool on)
{
    bool changed = false;
    for (FileListRow &row : m_rows) {
        changed |= row.checked != on;
        row.checked = on;
    }
    if (!changed)
        return;
    emit dataChanged(index(0, 0), index(RowCount() - 1, 0), {Qt::CheckStateRole});
    emit checksChanged();
}

int FileListModel::CheckedCount() const
{
    int count = 0;
    for (const FileListRow &row : m_rows)
        count += row.checked ? 1 : 0;
    return count;
}

bool FileListModel::SetStatus(int row, int code)
{
    if (row < 0 || row >= RowCount())
        return false;
    m_rows[row].status = code;
    if (columnCount() > 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::ForegroundRole, Qt::BackgroundRole});
    return true;
}

bool FileListModel::SetText(int row, int column, const QString &text)
{
    if (row < 0 || row >= RowCount() || column < 0 || column >= m_rows[row].texts.size())
        return false;
    m_rows[row].texts[column] = text;
    emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
    return true;
}

bool FileListModel::SetStatusTip(int row, const QString &tip)
{
    if (row < 0 || row >= RowCount())
        return false;
    m_rows[row].statusTip = tip;
    emit dataChanged(index(row, StatusColumn), index(row, StatusColumn), {Qt::ToolTipRole});
    return true;
}

void FileListModel::SetCheckBoxes(bool on)
{
    if (m_checkBoxes == on)
        return;
    m_checkBoxes = on;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(RowCount() - 1, 0), {Qt::CheckStateRole});
    emit checksChanged();
}

void FileListModel::SetStatusTextColor(int code, const QColor &color)
{
    if (code < 0 || code >= StatusCount)
        return;
    m_textColors[code] = color;
    if (!m_rows.isEmpty() && columnCount() > StatusColumn)
        emit dataChanged(index(0, StatusColumn), index(RowCount() - 1, StatusColumn), {Qt::ForegroundRole});
}

// Codes without an entry of their own draw like the defaults rather than reading past the table.
QColor FileListModel::StatusTextColor(int code) const
{
    return code >= 0 && code < StatusCount ? m_textColors[code] : QColor(Qt::black);
}

QColor FileListModel::StatusBackground(int code) const
{
    return code >= 0 && code < StatusCount ? m_backgrounds[code] : QColor(Qt::white);
}

int FileListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : RowCount(); }

int FileListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_columns.size()); }

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= columnCount())
        return {};
    const FileListRow &row = m_rows[index.row()];
    switch (role) {
    case Qt::ToolTipRole:
        if (index.column() == StatusColumn && !row.statusTip.isEmpty())
            return row.statusTip;
        return row.texts.value(index.column());
    case Qt::DisplayRole: return row.texts.value(index.column());
    case Qt::DecorationRole: return index.column() == 0 ? QVariant(row.icon) : QVariant();
    case Qt::CheckStateRole:
        if (index.column() == 0 && m_checkBoxes)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole: return index.column() == StatusColumn ? StatusTextColor(row.status) : kOtherColumnText;
    case Qt::BackgroundRole: return StatusBackground(row.status);
    case Qt::TextAlignmentRole: return QVariant::fromValue(m_columns[index.column()].alignment | Qt::AlignVCenter);
    default: return {};
    }
}

bool FileListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 || !m_checkBoxes)
        return false;
    return SetChecked(index.row(), value.toInt() == Qt::Checked);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && m_checkBoxes)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[section].title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns[section].alignment | Qt::AlignVCenter);
    return {};
}
