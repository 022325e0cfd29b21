#pragma once

#include <QColor>
#include <QList>
#include <QWidget>
#include <cstdint>

// A labelled pie of a few positive values: slices in the palette's colours in turn,
// counter-clockwise from 3 o'clock, each with a leader line and "label\nNN.N%". Draws nothing
// until it has a value and at least two colours. Window thread.
class ChartCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int PieStyle = 2;

    explicit ChartCtrl(QWidget *parent = nullptr);

    void SetStyle(int style);
    int Style() const { return m_style; }
    // Colours as COLORREF (0x00BBGGRR), used in turn.
    void SetPalette(const QList<std::uint32_t> &colorRefs);
    // 1 when added; 0, and nothing changes, for a value that is not a finite number above 0.
    int AddValue(double value, const QString &label, bool repaint = true);
    void ClearValues();
    double Total() const { return m_total; }
    int ValueCount() const { return int(m_values.size()); }

    QSize sizeHint() const override { return QSize(285, 154); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Slice {
        double value;
        QString label;
    };
    QList<Slice> m_values;
    QList<QColor> m_palette;
    double m_total = 0;
    int m_style = 0;
};
