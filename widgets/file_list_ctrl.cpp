#include "widgets/file_list_ctrl.h"

#include "shell/file_intake.h"
#include "widgets/file_list_header.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

// Keeps the status colours readable on selected rows, draws no focus frame, limits the
// highlight to the first column when full-row selection is off, and draws the rows' check
// boxes with the header's box images so that both look alike.
class FileListCtrl::RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool fullRow = false;

    void SetCheckImages(const QImage &pair)
    {
        const int side = pair.height();
        if (pair.isNull() || pair.width() < 2 * side)
            return;
        // The drawn box inside each square: the bounds of its opaque pixels.
        QRect box;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                if (qAlpha(pair.pixel(x, y)) != 0)
                    box |= QRect(x, y, 1, 1);
        if (box.isEmpty())
            return;
        m_unchecked = pair.copy(box);
        m_checked = pair.copy(box.translated(side, 0));
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QVariant check = index.data(Qt::CheckStateRole);
        if (m_checked.isNull() || !check.isValid())
            return;
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget *view = opt.widget;
        QStyle *style = view ? view->style() : QApplication::style();
        const QRect indicator = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, view);
        const QImage &image = check.toInt() == Qt::Checked ? m_checked : m_unchecked;
        QRect target(QPoint(), image.size());
        target.moveCenter(indicator.center());
        QRect cover = indicator | target;
        const bool selected = opt.state & QStyle::State_Selected;
        const QVariant background = index.data(Qt::BackgroundRole);
        painter->fillRect(
            cover, selected ? opt.palette.brush(QPalette::Highlight)
                            : QBrush(background.canConvert<QColor>() ? background.value<QColor>() : QColor(Qt::white)));
        painter->drawImage(target.topLeft(), image);
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~QStyle::State_HasFocus; // the selection shows the row well enough
        if (!fullRow && index.column() != 0)
            option->state &= ~QStyle::State_Selected;
        const QVariant fg = index.data(Qt::ForegroundRole);
        if (fg.canConvert<QColor>())
            option->palette.setColor(QPalette::HighlightedText, fg.value<QColor>());
    }

private:
    QImage m_unchecked;
    QImage m_checked;
};

FileListCtrl::FileListCtrl(QWidget *parent)
    : QTableView(parent)
    , m_delegate(new RowDelegate(this))
    , m_header(new FileListHeader(this))
{
    setHorizontalHeader(m_header);
    setItemDelegate(m_delegate);
    m_delegate->SetCheckImages(m_header->CheckImages());
    m_header->setDefaultAlignment(Qt::AlignCenter);
    m_header->setStretchLastSection(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setEditTriggers(NoEditTriggers);
    setDragDropOverwriteMode(false); // a dragged row goes between rows, where the line shows
    setDefaultDropAction(Qt::MoveAction);
    UpdateDragDrop();
    setShowGrid(false);
    setWordWrap(false);
    setIconSize(QSize(16, 16));
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerItem);
    setCornerButtonEnabled(false);

    // The part of the list without rows stays white whatever the window's palette.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Highlight, QColor(0xD3, 0xE5, 0xFA));
    pal.setColor(QPalette::HighlightedText, QColor(0x1E, 0x1E, 0x1E));
    setPalette(pal);
    setStyleSheet(QStringLiteral("QTableView { gridline-color: #DDE1E6; }"));
    UpdateRowHeight();
}

QList<int> FileListCtrl::SelectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileListCtrl::ClearRowSelection(int row)
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return;
    selectionModel()->select(model()->index(row, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    if (currentIndex().row() == row)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void FileListCtrl::EnsureRowVisible(int row)
{
    if (model() && row >= 0 && row < model()->rowCount())
        scrollTo(model()->index(row, 0));
}

void FileListCtrl::SetRowFont(int width, int height, int weight, const QString &face)
{
    QFont f(face);
    if (height != 0)
        f.setPixelSize(qAbs(height));
    // Width 0 keeps the face's proportions; otherwise stretch towards that average width,
    // an average glyph being about half as wide as the font is high.
    if (width > 0 && height != 0)
        f.setStretch(qBound(1, width * 200 / qAbs(height), 4000));
    f.setWeight(weight <= 0 ? QFont::Normal : QFont::Weight(qBound(1, weight, 1000)));
    f.setStyleStrategy(QFont::PreferQuality);
    setFont(f); // the header has a font of its own and does not follow
    UpdateRowHeight();
}

void FileListCtrl::SetHeaderFont(int width, int height, int /*weight: always bold*/, const QString &face)
{
    m_header->SetTitleFont(width, height, face);
}

void FileListCtrl::SetFullRowSelect(bool on)
{
    m_delegate->fullRow = on;
    viewport()->update();
}

void FileListCtrl::SetMultipleSelection(bool on) { setSelectionMode(on ? ExtendedSelection : SingleSelection); }

void FileListCtrl::SetDragAllowed(bool on)
{
    m_dragAllowed = on;
    UpdateDragDrop();
}

void FileListCtrl::SetAcceptFileDrops(bool on)
{
    m_fileDrops = on;
    UpdateDragDrop();
}

void FileListCtrl::UpdateDragDrop()
{
    setDragDropMode(m_dragAllowed ? InternalMove : m_fileDrops ? DropOnly : NoDragDrop);
    viewport()->setAcceptDrops(m_dragAllowed || m_fileDrops);
}

void FileListCtrl::UpdateRowHeight()
{
    const int h = qMax(20, fontMetrics().height() + 6);
    verticalHeader()->setMinimumSectionSize(h);
    verticalHeader()->setDefaultSectionSize(h);
}

// A plain press on one of several selected rows keeps them, as list controls do: moving then
// neither drags them (one row moves at a time) nor selects anew, and a click without moving
// selects that row alone (Qt's own release does).
void FileListCtrl::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    m_holdSelection = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && index.isValid()
                      && selectionModel()->isRowSelected(index.row()) && SelectedRows().size() > 1;
    QTableView::mousePressEvent(event);
}

void FileListCtrl::mouseMoveEvent(QMouseEvent *event)
{
    if (m_holdSelection && (event->buttons() & Qt::LeftButton))
        return;
    QTableView::mouseMoveEvent(event);
}

void FileListCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    m_holdSelection = false;
}

void FileListCtrl::keyPressEvent(QKeyEvent *event)
{
    // Space flips the check box of the focused row whichever of its cells has the focus.
    const QModelIndex check = currentIndex().siblingAtColumn(0);
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier
        && check.data(Qt::CheckStateRole).isValid()) {
        model()->setData(check, check.data(Qt::CheckStateRole).toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked,
                         Qt::CheckStateRole);
        return;
    }
    QTableView::keyPressEvent(event);
}

void FileListCtrl::startDrag(Qt::DropActions supportedActions)
{
    // One row at a time; the model refuses the move itself while its order is locked.
    if (m_dragAllowed && SelectedRows().size() == 1)
        QTableView::startDrag(supportedActions);
}

// Local files from outside are the window's to take; anything else is the view's own move.
bool FileListCtrl::AnswerOutsideFiles(QDragMoveEvent *event) const
{
    if (event->source() == this || LocalFiles(event->mimeData()).isEmpty())
        return false;
    if (m_fileDrops)
        event->acceptProposedAction();
    else
        event->ignore();
    return true;
}

void FileListCtrl::dragEnterEvent(QDragEnterEvent *event)
{
    if (!AnswerOutsideFiles(event))
        QTableView::dragEnterEvent(event);
}

void FileListCtrl::dragMoveEvent(QDragMoveEvent *event)
{
    if (!AnswerOutsideFiles(event))
        QTableView::dragMoveEvent(event);
}

void FileListCtrl::dropEvent(QDropEvent *event)
{
    const QStringList paths = event->source() != this ? LocalFiles(event->mimeData()) : QStringList();
    if (paths.isEmpty()) {
        QTableView::dropEvent(event);
        return;
    }
    if (!m_fileDrops) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(paths);
}
