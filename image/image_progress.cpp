#include "image/image_progress.h"

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

QString CurrentProgressText(int percent)
{
    return QString::asprintf(" %d%%", percent);
}

QString IdleCurrentText() { return QStringLiteral(" 0%"); }
QString IdleTotalText() { return QStringLiteral(" 0% ( 0 / 0 )"); }
QString IdleElapsedText() { return QStringLiteral(" 00:00:00"); }
QString CancelledProgressText() { return QStringLiteral("0%"); }
