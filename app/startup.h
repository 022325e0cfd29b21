#pragma once

#include <QString>
#include <QStringList>

// The process's start: both single-instance guards, then the launcher window run modally with
// files added as a drop adds them. A second start hands its files to the first, asks it to come
// to the front and ends silently. Returns the process's exit code. Window thread; needs a
// QApplication.
int RunStartup(const QStringList &files = {});

// The files named on the command line (after the program), made absolute from this process's
// folder, for the first copy has a folder of its own. Options the toolkit did not take are
// passed over, up to a "--".
QStringList FilesFromArguments(const QStringList &arguments);

// Names of the two guards: the fixed instance name, and the display name read from the
// language file (default "RE Zizoz Iridozu" when the file or key is missing).
inline constexpr const char *kInstanceMutexName = "ZArovivIvirozi2";
QString ReadDisplayName();
