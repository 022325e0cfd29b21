#pragma once

#include <QColor>
#include <QHeaderView>
#include <QImage>
#include <QRect>

// The file list's column header: drawn from the skin strip, with a check-all box at its left
// end. A click on the box flips AllChecked and reports it; the list does the checking.
// Window thread.
class FileListHeader : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int Height = 25;

    explicit FileListHeader(QWidget *parent = nullptr);

    bool AllChecked() const { return m_allChecked; }
    // Changes the box without reporting it; used when the rows' checks decide its state.
    void SetAllChecked(bool on);
    bool ShowCheckBox() const { return m_showCheckBox; }
    // Unchecked and checked box side by side, magenta made transparent; null when missing.
    const QImage &CheckImages() const { return m_checkImages; }
    void SetShowCheckBox(bool on);
    // Font of the titles; the weight is always bold.
    void SetTitleFont(int width, int height, const QString &face);
    // Where a click flips the box, in header coordinates.
    static QRect CheckBoxHitRect() { return QRect(QPoint(5, 7), QPoint(19, 21)); }

    QSize sizeHint() const override;

signals:
    // The user clicked the box; on is its new state.
    void checkAllClicked(bool on);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QImage m_background;
    QImage m_checkImages; // two squares side by side: unchecked, checked
    QColor m_textColor;
    bool m_allChecked = false;
    bool m_showCheckBox = true;
};
