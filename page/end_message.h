#pragma once

#include "page/run_outcome.h"
#include "shell/message_box.h"

#include <QString>

// What the user is told when a run has finished: the end text first, then how many files were
// converted and how many failed, and each failed file with its reason. A run where every file
// failed does not read as a success: it says so, with the warning icon.
QString CountsText(const RunSummary &summary);
MessageBoxQuestion EndMessage(const RunSummary &summary);

// The same for a desktop notification: the counts, then the failed files, a few at most.
QString NotificationBody(const RunSummary &summary);

// The end message's two buttons beside OK.
enum EndMessageAction { kOpenSaveFolder = 0, kOpenLog = 1 };
