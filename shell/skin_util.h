#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

class QMimeData;

// Layout and small helpers both conversion pages share: the skin's background, where its two
// panel pictures go, and what a drop onto a page carries. Window thread.

constexpr quint32 kPageBackground = 0x4D3620;   // COLORREF: navy
constexpr QPoint kListPanelAt{10, 43};
constexpr QPoint kInfoPanelAt{10, 268};

// The local files among the dropped URLs, in order; none for a missing mime.
QStringList LocalFiles(const QMimeData *mime);

// One frame of a skin image laid out as frames side by side; the fallback when it is missing,
// so that the control keeps its place and its text.
QSize FrameSize(const QString &image, int frames, QSize fallback);

// The folder with "/" separators and one trailing "/"; an empty folder stays empty.
QString FolderWithSlash(QString folder);
