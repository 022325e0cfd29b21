#include "run/state_folder.h"

#include <QDir>

QString StateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // The variable counts only when it names an absolute folder.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/framepress");
}

QString RunLogPath() { return StateFolder() + QStringLiteral("/runs.log"); }
