#pragma once

#include <QList>
#include <QStringList>
#include <QTableView>

class FileListHeader;

// The report list of files shared by the movie and the image window: a view over a table
// model whose first column has check boxes, drawn in the skin's looks. Its header's check-all
// box is the model's first-column CheckStateRole header data. Rows move by dragging one row
// through the model's own move (Qt's internal move); files dropped from outside are reported.
// It only shows what the model holds. Window thread.
class FileListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit FileListCtrl(QWidget *parent = nullptr);

    // Height in pixels; width 0 keeps the face's proportions; weight as in CSS (0 = normal).
    void SetRowFont(int width, int height, int weight, const QString &face);
    void SetHeaderFont(int width, int height, int weight, const QString &face);
    void SetFullRowSelect(bool on);
    void SetMultipleSelection(bool on);
    // A drag moves the one selected row only while allowed; with two rows selected none starts.
    void SetDragAllowed(bool on);
    bool DragAllowed() const { return m_dragAllowed; }
    // Local files dropped from outside are reported by filesDropped instead of passing on to
    // the parent window.
    void SetAcceptFileDrops(bool on);

    // Selected rows, top to bottom.
    QList<int> SelectedRows() const;
    void ClearRowSelection(int row);
    void EnsureRowVisible(int row);

    FileListHeader *Header() const { return m_header; }

signals:
    // Local files were dropped on the list (only with SetAcceptFileDrops).
    void filesDropped(const QStringList &paths);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void UpdateDragDrop();
    // True when the drag carries files from outside, which it then accepts or refuses.
    bool AnswerOutsideFiles(QDragMoveEvent *event) const;
    void UpdateRowHeight();

    class RowDelegate;
    RowDelegate *m_delegate;
    FileListHeader *m_header;
    bool m_dragAllowed = false;
    bool m_fileDrops = false;
    bool m_holdSelection = false; // pressed on one of several selected rows
};
