#pragma once

#include <QColor>
#include <QHeaderView>
#include <QImage>
#include <QRect>

// The file list's column header: drawn from the skin strip, with a check-all box at its left
// end where the model gives its first column a CheckStateRole header data. The box shows that
// state, and a click on it asks the model for the other one. Window thread.
class FileListHeader : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int Height = 25;

    explicit FileListHeader(QWidget *parent = nullptr);

    bool AllChecked() const;
    bool ShowCheckBox() const;
    // Unchecked and checked box side by side, magenta made transparent; null when missing.
    const QImage &CheckImages() const { return m_checkImages; }
    // Font of the titles; the weight is always bold.
    void SetTitleFont(int width, int height, const QString &face);
    // Where a click flips the box, in header coordinates.
    static QRect CheckBoxHitRect() { return QRect(QPoint(5, 7), QPoint(19, 21)); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QImage m_background;
    QImage m_checkImages; // two squares side by side: unchecked, checked
    QColor m_textColor;
};
