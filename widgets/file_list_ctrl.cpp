#include "widgets/file_list_ctrl.h"

#include "shell/file_intake.h"
#include "widgets/colorref.h"
#include "widgets/file_list_header.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {
constexpr QPoint kDragHotSpot(8, 8);
} // namespace

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
    , m_model(new FileListModel(this))
    , m_delegate(new RowDelegate(this))
    , m_header(new FileListHeader(this))
{
    setModel(m_model);
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
    setDragDropMode(NoDragDrop);
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

    connect(m_model, &FileListModel::checksChanged, this, &FileListCtrl::OnChecksChanged);
    connect(m_header, &FileListHeader::checkAllClicked, this, &FileListCtrl::OnCheckAllClicked);
    UpdateRowHeight();
}

FileListCtrl::~FileListCtrl() { delete m_dragImage; }

int FileListCtrl::AddColumn(const QString &title, int width, Qt::Alignment alignment)
{
    const int column = m_model->AddColumn(title, alignment);
    m_header->resizeSection(column, width);
    return column;
}

bool FileListCtrl::InsertFile(const QString &path, bool checked)
{
    FileListRow row;
    row.path = path;
    row.checked = checked;
    return !InsertFiles({std::move(row)}).isEmpty();
}

QList<int> FileListCtrl::InsertFiles(QList<FileListRow> rows)
{
    QList<int> taken;
    QList<FileListRow> accepted;
    QSet<QString> batch;
    for (int i = 0; i < rows.size(); ++i) {
        FileListRow &row = rows[i];
        if (row.path.isEmpty())
            continue;
        const QFileInfo info(row.path);
        if (!m_extensions.isEmpty()) {
            const QString suffix = info.suffix();
            const bool known = std::any_of(m_extensions.begin(), m_extensions.end(), [&](const QString &ext) {
                return ext.compare(suffix, Qt::CaseInsensitive) == 0;
            });
            if (!known)
                continue;
        }
        const QString key = FileListModel::PathKey(row.path);
        if (batch.contains(key) || m_model->FindPath(row.path) >= 0)
            continue;
        batch.insert(key);
        row.icon = m_iconProvider.icon(info);
        if (row.texts.isEmpty())
            row.texts.append(QString());
        row.texts[0] = info.fileName();
        accepted.append(std::move(row));
        taken.append(i);
    }
    m_model->AppendRows(std::move(accepted));
    return taken;
}

bool FileListCtrl::RemoveRow(int row)
{
    if (m_dragging)
        EndRowDrag(QPoint(), false);
    return m_model->RemoveRow(row);
}

int FileListCtrl::RowCount() const { return m_model->RowCount(); }

bool FileListCtrl::RowPath(int row, QString *path) const
{
    const FileListRow *r = m_model->Row(row);
    if (!r || !path)
        return false;
    *path = r->path;
    return true;
}

QString FileListCtrl::RowPath(int row) const
{
    const FileListRow *r = m_model->Row(row);
    return r ? r->path : QString();
}

void FileListCtrl::SetRowStatusCode(int row, int code) { m_model->SetStatus(row, code); }

int FileListCtrl::RowStatusCode(int row) const
{
    const FileListRow *r = m_model->Row(row);
    return r ? r->status : -1;
}

bool FileListCtrl::SetItemText(int row, int column, const QString &text) { return m_model->SetText(row, column, text); }

int FileListCtrl::FindRow(const QString &path) const { return m_model->FindPath(path); }

bool FileListCtrl::SetStatusTip(int row, const QString &tip) { return m_model->SetStatusTip(row, tip); }

QString FileListCtrl::StatusTip(int row) const
{
    const FileListRow *r = m_model->Row(row);
    return r ? r->statusTip : QString();
}

QString FileListCtrl::ItemText(int row, int column) const
{
    const FileListRow *r = m_model->Row(row);
    return r ? r->texts.value(column) : QString();
}

bool FileListCtrl::IsChecked(int row) const
{
    const FileListRow *r = m_model->Row(row);
    return r && r->checked;
}

void FileListCtrl::SetChecked(int row, bool on) { m_model->SetChecked(row, on); }

int FileListCtrl::CheckedCount() const { return m_model->HasCheckBoxes() ? m_model->CheckedCount() : 0; }

int FileListCtrl::NextChecked(int row) const
{
    if (row < -1 || !m_model->HasCheckBoxes())
        return -1;
    for (int i = row + 1; i < RowCount(); ++i) {
        if (m_model->Row(i)->checked)
            return i;
    }
    return -1;
}

void FileListCtrl::CheckAll() { m_model->SetAllChecked(true); }

void FileListCtrl::UncheckAll() { m_model->SetAllChecked(false); }

QList<int> FileListCtrl::SelectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileListCtrl::ClearRowSelection(int row)
{
    if (row < 0 || row >= RowCount())
        return;
    selectionModel()->select(m_model->index(row, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    if (currentIndex().row() == row)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void FileListCtrl::EnsureRowVisible(int row)
{
    if (row >= 0 && row < RowCount())
        scrollTo(m_model->index(row, 0));
}

bool FileListCtrl::SetAcceptedExtensions(const QString &text, QChar separator)
{
    if (text.isEmpty())
        return false;
    // Blanks around a piece are dropped: " mp4" in the language file still means mp4.
    for (const QString &piece : text.split(separator, Qt::SkipEmptyParts)) {
        const QString ext = piece.trimmed();
        if (!ext.isEmpty())
            m_extensions.append(ext);
    }
    return true;
}

void FileListCtrl::SetStatusColors(const QList<std::uint32_t> &colorRefs)
{
    for (int code = 0; code < 7 && code < colorRefs.size(); ++code)
        m_model->SetStatusTextColor(code, FromColorRef(colorRefs[code]));
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

void FileListCtrl::SetCheckBoxes(bool on) { m_model->SetCheckBoxes(on); }

bool FileListCtrl::HasCheckBoxes() const { return m_model->HasCheckBoxes(); }

void FileListCtrl::SetGridLines(bool on) { setShowGrid(on); }

void FileListCtrl::SetFullRowSelect(bool on)
{
    m_delegate->fullRow = on;
    viewport()->update();
}

void FileListCtrl::SetMultipleSelection(bool on) { setSelectionMode(on ? ExtendedSelection : SingleSelection); }

void FileListCtrl::SetDragAllowed(bool on)
{
    m_dragAllowed = on;
    // A window that forbids moving mid-drag (a run starting) must not leave the mouse captured.
    if (!on && m_dragging)
        EndRowDrag(QPoint(), false);
}

void FileListCtrl::SetAcceptFileDrops(bool on)
{
    setAcceptDrops(on);
    viewport()->setAcceptDrops(on);
}

void FileListCtrl::OnChecksChanged()
{
    const int rows = RowCount();
    const int checked = CheckedCount();
    if (rows == 0)
        m_header->SetAllChecked(false);
    else if (m_header->AllChecked() && checked != rows)
        m_header->SetAllChecked(false);
    else if (!m_header->AllChecked() && checked == rows)
        m_header->SetAllChecked(true);
    emit checksChanged();
}

void FileListCtrl::OnCheckAllClicked(bool on)
{
    if (on)
        CheckAll();
    else
        UncheckAll();
}

void FileListCtrl::UpdateRowHeight()
{
    const int h = qMax(20, fontMetrics().height() + 6);
    verticalHeader()->setMinimumSectionSize(h);
    verticalHeader()->setDefaultSectionSize(h);
}

void FileListCtrl::mousePressEvent(QMouseEvent *event)
{
    m_pressRow = -1;
    m_keptSelection = false;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || m_dragging || !index.isValid()) {
        QTableView::mousePressEvent(event);
        return;
    }
    m_pressRow = index.row();
    m_pressPos = event->position().toPoint();
    // A plain press on one of several selected rows keeps the selection until the button is
    // released, as list controls do; a drag starting there then sees every selected row.
    const bool keep = event->modifiers() == Qt::NoModifier && selectionModel()->isRowSelected(index.row())
                      && SelectedRows().size() > 1;
    const QItemSelection before = selectionModel()->selection();
    QTableView::mousePressEvent(event);
    if (keep) {
        if (selectionModel()->selection() != before)
            selectionModel()->select(before, QItemSelectionModel::ClearAndSelect);
        m_keptSelection = true;
    }
}

void FileListCtrl::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging) {
        MoveRowDrag(event->globalPosition().toPoint());
        return;
    }
    if (m_pressRow >= 0 && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        // The pointer left the pressed row far enough to count as a drag: one decision per press.
        const bool canDrag = m_dragAllowed && SelectedRows().size() <= 1;
        if (canDrag) {
            BeginRowDrag(event->globalPosition().toPoint());
            return;
        }
        m_pressRow = -1;
    }
    if (m_keptSelection)
        return; // moving must not narrow the kept selection to one row
    QTableView::mouseMoveEvent(event);
}

void FileListCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    const int pressRow = m_pressRow;
    m_pressRow = -1;
    if (m_dragging) {
        m_keptSelection = false;
        EndRowDrag(event->globalPosition().toPoint(), true);
        return;
    }
    QTableView::mouseReleaseEvent(event);
    // A click without a drag on one of several selected rows selects that row alone.
    if (m_keptSelection && pressRow >= 0 && rowAt(event->position().toPoint().y()) == pressRow)
        selectionModel()->select(m_model->index(pressRow, 0),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_keptSelection = false;
}

void FileListCtrl::keyPressEvent(QKeyEvent *event)
{
    if (m_dragging && event->key() == Qt::Key_Escape) {
        EndRowDrag(QPoint(), false);
        return;
    }
    // Space flips the check box of the focused row whichever of its cells has the focus.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && HasCheckBoxes()
        && currentIndex().isValid()) {
        const int row = currentIndex().row();
        SetChecked(row, !IsChecked(row));
        return;
    }
    QTableView::keyPressEvent(event);
}

void FileListCtrl::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_dragging)
        EndRowDrag(QPoint(), false);
    QTableView::changeEvent(event);
}

void FileListCtrl::BeginRowDrag(const QPoint &globalPos)
{
    m_dragRow = m_pressRow;
    m_pressRow = -1;
    m_dragging = true;
    m_lastPoint = viewport()->mapFromGlobal(globalPos);

    // The drag image: the row's first cell, half transparent, following the pointer. It is a
    // child of the top-level window rather than a window of its own.
    const QRect cell = visualRect(m_model->index(m_dragRow, 0)).intersected(viewport()->rect());
    const QPixmap rowShot = viewport()->grab(cell);
    QPixmap image(rowShot.size());
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setOpacity(0.7);
        p.drawPixmap(0, 0, rowShot);
    }
    m_dragImage = new QLabel(window());
    m_dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dragImage->setPixmap(image);
    m_dragImage->adjustSize();
    m_dragImage->move(window()->mapFromGlobal(globalPos) - kDragHotSpot);
    m_dragImage->raise();
    m_dragImage->show();
    // No explicit grab: while the button is held Qt sends every move to the pressed widget.
}

void FileListCtrl::MoveRowDrag(const QPoint &globalPos)
{
    if (m_dragImage)
        m_dragImage->move(window()->mapFromGlobal(globalPos) - kDragHotSpot);
    m_lastPoint = viewport()->mapFromGlobal(globalPos);
    if (!viewport()->rect().contains(m_lastPoint))
        return;
    const int hit = rowAt(m_lastPoint.y());
    if (hit < 0)
        return;

    // Over the first or last fully visible row, scroll one row so the user can reach the rest.
    const int top = rowAt(0);
    const int perPage = qMax(1, viewport()->height() / verticalHeader()->defaultSectionSize());
    int reveal = -1;
    if (hit == top && top > 0)
        reveal = top - 1;
    else if (hit == top + perPage - 1 && top + perPage < RowCount())
        reveal = top + perPage;
    if (reveal >= 0) {
        scrollTo(m_model->index(reveal, 0));
        viewport()->repaint();
    }
}

void FileListCtrl::EndRowDrag(const QPoint &globalPos, bool drop)
{
    m_dragging = false;
    delete m_dragImage;
    m_dragImage = nullptr;
    setState(NoState);
    if (drop) {
        // Only a release over this list's rows drops; elsewhere the drag is simply abandoned.
        const QPoint at = viewport()->mapFromGlobal(globalPos);
        if (viewport()->rect().contains(at)) {
            m_lastPoint = at;
            DropRow();
        }
    }
    m_dragRow = -1;
}

void FileListCtrl::DropRow()
{
    int target = rowAt(m_lastPoint.y());
    if (target < 0)
        target = RowCount() - 1;
    const int from = m_dragRow;
    if (target == from || from < 0 || from >= RowCount())
        return;
    if (!m_model->MoveRow(from, target))
        return;
    const QModelIndex moved = m_model->index(target, 0);
    selectionModel()->setCurrentIndex(moved, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit rowMoved(from, target);
}

void FileListCtrl::dragEnterEvent(QDragEnterEvent *event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListCtrl::dragMoveEvent(QDragMoveEvent *event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListCtrl::dropEvent(QDropEvent *event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(paths);
}
