#pragma once

#include <QStringList>

// framepress-cli as a whole: reads its command line (arguments, the program's name first),
// sorts the files, converts them and returns the exit status. Needs a QCoreApplication; no
// display, no platform plugin, and neither the window's lists nor its single-instance lock.
int RunCli(const QStringList &arguments);
