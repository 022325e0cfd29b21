#include "image/image_progress.h"

#include <algorithm>
#include <cmath>

int ProgressPercent(int done, int total)
{
    if (total <= 0)
        return 0;
    return int(float(100.0 / total * done));
}

QString TotalProgressText(int done, int total)
{
    return QString::asprintf(" %d%% ( %d / %d )", ProgressPercent(done, total), done, total);
}

QString CurrentProgressText(int percent) { return QString::asprintf(" %d%%", percent); }

QString IdleCurrentText() { return QStringLiteral(" 0%"); }
QString IdleTotalText() { return QStringLiteral(" 0% ( 0 / 0 )"); }
QString IdleElapsedText() { return QStringLiteral(" 00:00:00"); }
QString CancelledProgressText() { return QStringLiteral("0%"); }

int PicturesTimeLeft(int done, int total, double doneAt, double now)
{
    if (done <= 0 || total < done)
        return -1;
    if (total == done)
        return 0;
    // A picture slower than the pace so far takes its own time, not that of those after it.
    const double pace = doneAt / done;
    const double left = std::max((total - done - 1) * pace, (total - done) * pace - (now - doneAt));
    return int(std::lround(left));
}
