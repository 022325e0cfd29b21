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

int PicturesTimeLeft(int done, int total, int doneAt, int now)
{
    if (done <= 0 || total < done)
        return -1;
    const double left = double(total - done) * doneAt / done - (now - doneAt);
    return total == done ? 0 : int(std::lround(std::max(0.0, left)));
}
