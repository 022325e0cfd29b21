#pragma once

#include <QString>

// The process's start: both single-instance guards, then the launcher window run modally.
// A second start asks the first to come to the front and ends silently. Returns the process's
// exit code. Window thread; needs a QApplication.
int RunStartup();

// Names of the two guards: the fixed instance name, and the display name read from the
// language file (default "RE Zizoz Iridozu" when the file or key is missing).
inline constexpr const char *kInstanceMutexName = "ZArovivIvirozi2";
QString ReadDisplayName();
