#include "widgets/file_list_header.h"

#include "shell/app_paths.h"
#include "widgets/skin_image.h"

#include <QMouseEvent>
#include <QPainter>

FileListHeader::FileListHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
    , m_background(LoadKeyedImage(GetResFilePath(QStringLiteral("list_ctrl_title_bg.bmp"))))
    , m_checkImages(LoadKeyedImage(GetResFilePath(QStringLiteral("checkboxes.bmp"))))
    , m_textColor(0x33, 0x3A, 0x45)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setMinimumHeight(Height);
    setMaximumHeight(Height);
    QFont f = font();
    f.setBold(true);
    setFont(f); // set explicitly, so the list's row font does not reach the titles
}

bool FileListHeader::AllChecked() const
{
    return model() && model()->headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt() == Qt::Checked;
}

bool FileListHeader::ShowCheckBox() const
{
    return model() && model()->headerData(0, Qt::Horizontal, Qt::CheckStateRole).isValid();
}

void FileListHeader::SetTitleFont(int width, int height, const QString &face)
{
    QFont f(face);
    if (height != 0)
        f.setPixelSize(qAbs(height));
    // A width of 0 keeps the face's own proportions; otherwise stretch to roughly that
    // average character width (an average glyph is about half as wide as the font is high).
    if (width > 0 && height != 0)
        f.setStretch(qBound(1, width * 200 / qAbs(height), 4000));
    f.setWeight(QFont::Bold);
    f.setStyleStrategy(QFont::PreferQuality);
    setFont(f);
    viewport()->update();
}

QSize FileListHeader::sizeHint() const { return QSize(QHeaderView::sizeHint().width(), Height); }

void FileListHeader::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const int w = viewport()->width();
    const int h = viewport()->height();
    p.fillRect(viewport()->rect(), Qt::white);
    if (!m_background.isNull())
        p.drawImage(QRect(0, 0, w, m_background.height()), m_background);

    // Column frames and titles.
    const bool showBox = ShowCheckBox();
    const QColor light(0xBD, 0xBD, 0xBD);
    const QColor dark(0xBD, 0xBD, 0xEE);
    p.setFont(font());
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical))
            continue;
        QRect r(sectionViewportPosition(logical), 0, sectionSize(logical), h - 1);
        if (visual > 0)
            r.setLeft(r.left() - 1);
        if (r.right() < 0 || r.left() >= w)
            continue;
        p.setPen(light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(dark);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());

        const QString title = model() ? model()->headerData(logical, Qt::Horizontal).toString().left(255) : QString();
        QRect textRect = r.adjusted(4, 2, -4, 2);
        if (visual == 0 && showBox)
            textRect.setLeft(qMax(textRect.left(), 3 + m_checkImages.height() + 2));
        p.setPen(m_textColor);
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine,
                   p.fontMetrics().elidedText(title, Qt::ElideRight, textRect.width()));
    }

    // The check-all box over the first column, clipped to that column.
    if (showBox && !m_checkImages.isNull()) {
        const int side = m_checkImages.height();
        const int firstWidth = count() > 0 ? sectionSize(logicalIndex(0)) : w;
        const int shown = qMin(side, firstWidth - 3);
        if (shown > 0) {
            const QRect source(AllChecked() ? side : 0, 0, shown, side);
            p.drawImage(QPoint(3, h / 2 - side / 2 - 1), m_checkImages, source);
        }
    }
}

void FileListHeader::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && ShowCheckBox()
        && CheckBoxHitRect().contains(event->position().toPoint())) {
        model()->setHeaderData(0, Qt::Horizontal, AllChecked() ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        viewport()->update();
    }
    QHeaderView::mousePressEvent(event);
}
