#pragma once

#include "page/end_actions.h"
#include "page/run_outcome.h"
#include "shell/message_box.h"

#include <QString>

#include <optional>

// What the end-of-run actions could not do, for the user to hear of.
struct EndReport {
    QList<KeptSource> kept;                 // sources the trash would not take
    std::optional<QString> powerOffRefused; // the system's reason
};

// What the user is told when a run has finished: the end text first, then how many files were
// converted and how many failed, and each failed file with its reason. A run where every file
// failed does not read as a success: it says so, with the warning icon. What the end actions
// could not do follows: a refused power-off with its reason, and each source that stayed.
QString CountsText(const RunSummary &summary);
MessageBoxQuestion EndMessage(const RunSummary &summary, const EndReport &report = {});
// The sources that stayed, told once they were to go (after the end message).
MessageBoxQuestion KeptSourcesMessage(const QList<KeptSource> &kept);

// The same for a desktop notification: the counts, then the failed files and the sources
// that stayed, a few at most.
QString NotificationBody(const RunSummary &summary, const QList<KeptSource> &kept = {});

// The end message's two buttons beside OK.
enum EndMessageAction { kOpenSaveFolder = 0, kOpenLog = 1 };
