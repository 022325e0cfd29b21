#pragma once

#include "run/row_status.h"
#include "widgets/file_list_model.h"

#include <QFileIconProvider>
#include <QLabel>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QTableView>
#include <cstdint>

class FileListHeader;

// The report list of files shared by the movie and the image window. Beside the visible rows
// it keeps each row's full path, icon, status code and check state; it refuses unlisted
// extensions and files already listed, colours the status column by code, offers a check-all
// box in its header and lets the user move one row by dragging. It only stores and draws what
// the window gives it. Window thread.
class FileListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit FileListCtrl(QWidget *parent = nullptr);
    ~FileListCtrl() override;

    // Columns; returns the new column's index.
    int AddColumn(const QString &title, int width, Qt::Alignment alignment = Qt::AlignHCenter);

    // Adds a row at the end; false when the extension is not accepted or the path is listed.
    bool InsertFile(const QString &path, bool checked);
    // Appends rows in one go, as they are given (check, status, texts, tooltip) with the
    // icon and file name (column 0) of each path, refusing each as InsertFile does (a path
    // earlier in the batch counts as listed). Returns the indexes into rows of those taken.
    QList<int> InsertFiles(QList<FileListRow> rows);
    bool RemoveRow(int row);
    int RowCount() const;
    // The stored full path; false for a row outside the list or a missing buffer.
    bool RowPath(int row, QString *path) const;
    QString RowPath(int row) const;
    // The row that holds path (compared as InsertFile compares); -1 when none does.
    int FindRow(const QString &path) const;
    void SetRowStatusCode(int row, int code);
    void SetRowStatusCode(int row, RowStatus status) { SetRowStatusCode(row, int(status)); }
    // -1 for a row outside the list.
    int RowStatusCode(int row) const;
    bool SetItemText(int row, int column, const QString &text);
    QString ItemText(int row, int column) const;
    // The status cell's tooltip (its text when none is set).
    bool SetStatusTip(int row, const QString &tip);
    QString StatusTip(int row) const;

    bool IsChecked(int row) const;
    void SetChecked(int row, bool on);
    // 0 without the check-box style.
    int CheckedCount() const;
    // First checked row after row (-1 starts at the top); -1 when there is none.
    int NextChecked(int row) const;
    void CheckAll();
    void UncheckAll();
    // Selected rows, top to bottom.
    QList<int> SelectedRows() const;
    void ClearRowSelection(int row);
    void EnsureRowVisible(int row);

    // Appends the pieces of text split at separator (blank pieces skipped) to the accepted
    // extensions; false for an empty text. No accepted extension means every file is accepted.
    bool SetAcceptedExtensions(const QString &text, QChar separator);
    QStringList AcceptedExtensions() const { return m_extensions; }
    // Text colours of the status column for codes 0-6, as COLORREF (0x00BBGGRR).
    void SetStatusColors(const QList<std::uint32_t> &colorRefs);
    // Height in pixels; width 0 keeps the face's proportions; weight as in CSS (0 = normal).
    void SetRowFont(int width, int height, int weight, const QString &face);
    void SetHeaderFont(int width, int height, int weight, const QString &face);

    void SetCheckBoxes(bool on);
    bool HasCheckBoxes() const;
    void SetGridLines(bool on);
    void SetFullRowSelect(bool on);
    void SetMultipleSelection(bool on);
    void SetDragAllowed(bool on);
    bool DragAllowed() const { return m_dragAllowed; }
    bool IsDragging() const { return m_dragging; }
    // Local files dropped from outside are reported by filesDropped instead of passing on to
    // the parent window.
    void SetAcceptFileDrops(bool on);

    FileListHeader *Header() const { return m_header; }

signals:
    // A check box changed (by the user, the header box or a call), or rows came or went.
    void checksChanged();
    // The user dragged the row at from to the index to; the row kept its path, status and texts.
    void rowMoved(int from, int to);
    // Local files were dropped on the list (only with SetAcceptFileDrops).
    void filesDropped(const QStringList &paths);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void OnChecksChanged();
    void OnCheckAllClicked(bool on);
    void BeginRowDrag(const QPoint &globalPos);
    void MoveRowDrag(const QPoint &globalPos);
    void EndRowDrag(const QPoint &globalPos, bool drop);
    void DropRow();
    void UpdateRowHeight();

    class RowDelegate;
    FileListModel *m_model;
    RowDelegate *m_delegate;
    FileListHeader *m_header;
    QFileIconProvider m_iconProvider;
    QStringList m_extensions;
    bool m_dragAllowed = false;
    bool m_dragging = false;
    int m_dragRow = -1;
    int m_pressRow = -1;
    bool m_keptSelection = false;
    QPoint m_pressPos;
    QPoint m_lastPoint;           // viewport coordinates of the last pointer position while dragging
    QPointer<QLabel> m_dragImage; // owned by the top-level window, which may go first
};
