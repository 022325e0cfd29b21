#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QStringList>
#include <array>

// One row of the file list: everything about it travels together, so the path, icon, status,
// check state and column texts cannot drift apart when rows are inserted, removed or moved.
struct FileListRow {
    QString path;
    QIcon icon;
    int status = 0;
    bool checked = false;
    QStringList texts; // one per column; column 0 is the file name
    QString statusTip; // the status cell's tooltip; its text when empty
};

// The rows and columns behind FileListCtrl, with the status colour table. Window thread.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int StatusColumn = 2;
    static constexpr int StatusCount = 9; // codes 0-8 have a colour of their own

    explicit FileListModel(QObject *parent = nullptr);

    int AddColumn(const QString &title, Qt::Alignment alignment);

    int RowCount() const { return int(m_rows.size()); }
    const FileListRow *Row(int row) const;
    void AppendRow(FileListRow row);
    // One insertion for them all: a long list costs one signal, not one per row.
    void AppendRows(QList<FileListRow> rows);
    bool RemoveRow(int row);
    // Moves a row so that it ends up at index to.
    bool MoveRow(int from, int to);
    // Index of the first row whose path equals path, ignoring case; -1 when none, which
    // takes no look at the rows.
    int FindPath(const QString &path) const;
    // Paths that FindPath takes as equal have equal keys.
    static QString PathKey(const QString &path) { return path.toCaseFolded(); }

    bool SetChecked(int row, bool on);
    void SetAllChecked(bool on);
    int CheckedCount() const;
    bool SetStatus(int row, int code);
    bool SetText(int row, int column, const QString &text);
    bool SetStatusTip(int row, const QString &tip);

    void SetCheckBoxes(bool on);
    bool HasCheckBoxes() const { return m_checkBoxes; }
    void SetStatusTextColor(int code, const QColor &color);
    QColor StatusTextColor(int code) const;
    QColor StatusBackground(int code) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The check box of at least one row changed, or rows came or went.
    void checksChanged();

private:
    struct Column {
        QString title;
        Qt::Alignment alignment;
    };
    QList<Column> m_columns;
    QList<FileListRow> m_rows;
    QHash<QString, int> m_pathKeys; // PathKey → how many rows have it
    std::array<QColor, StatusCount> m_textColors;
    std::array<QColor, StatusCount> m_backgrounds;
    bool m_checkBoxes = false;
};
