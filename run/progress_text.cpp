#include "run/progress_text.h"

QString ElapsedText(int seconds)
{
    return QString::asprintf(" %02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60, seconds % 60);
}
