#pragma once

#include "run/end_actions.h"
#include "run/run_outcome.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the end-of-run actions could not do, for the user to hear of.
struct EndReport {
    QList<KeptSource> kept;                 // sources the trash would not take
    std::optional<QString> powerOffRefused; // the system's reason
};

// What the user is told when a run has finished, as plain text: a page shows it in its
// summary box, a terminal prints it.
struct EndText {
    QString text;         // the lines above the list
    QStringList details;  // each failed file with its reason, then each source that stayed
    bool warning = false; // something failed or could not be done
};

// The end text first, then how many files were converted and how many failed, and each failed
// file with its reason. A run where every file failed does not read as a success: it says so,
// as a warning. What the end actions could not do follows: a refused power-off with its
// reason, and each source that stayed.
QString CountsText(const RunSummary &summary);
EndText EndMessageText(const RunSummary &summary, const EndReport &report = {});
// The sources that stayed, told once they were to go (after the end message).
EndText KeptSourcesText(const QList<KeptSource> &kept);

// The same for a desktop notification: the counts, then the failed files and the sources
// that stayed, a few at most.
QString NotificationBody(const RunSummary &summary, const QList<KeptSource> &kept = {});
