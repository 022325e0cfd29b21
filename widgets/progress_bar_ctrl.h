#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

// The skinned progress bar: a track image across the whole width and a fill image from the
// left edge to the position, both with magenta as the transparent colour. The position is a
// percentage, so a resized bar keeps showing the same share. Window thread.
class ProgressBarCtrl : public QWidget {
    Q_OBJECT
public:
    // Image ids the windows pass to SetImages.
    static constexpr int FillCurrentId = 140;
    static constexpr int FillTotalId = 141;
    static constexpr int TrackId = 142;

    explicit ProgressBarCtrl(QWidget *parent = nullptr);

    // File in res/ behind an image id; empty for an unknown id.
    static QString ImageFileName(int id);

    // COLORREF (0x00BBGGRR) shown wherever the images are transparent or absent.
    void SetBackgroundColor(std::uint32_t colorRef);
    // Loads the track (required) and the fill (0 = none); the bar takes the track's height.
    // False when an id is unknown or an image cannot be loaded. The fill is drawn at its own
    // height from the top.
    bool SetImages(int trackId, int fillId);
    bool SetImageFiles(const QString &trackPath, const QString &fillPath);
    void SetRange(int lower, int upper);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    // Percent, 0-100; values outside are held at the ends.
    void SetPosition(int percent);
    int Position() const { return m_percent; }
    // Where the fill ends, in pixels from the left edge.
    int FillEnd() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool LoadTrack(const QString &path);
    bool LoadFill(const QString &path);

    QImage m_track;
    QImage m_fill;
    QColor m_background;
    int m_margin = 0;
    int m_percent = 0;
    int m_lower = 0;
    int m_upper = 100;
};
