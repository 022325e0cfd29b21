#pragma once

#include "platform/trash.h"
#include "run/run_outcome.h"
#include "shell/output_folder.h"

#include <QList>
#include <QString>

// What a page does once a run has ended, decided the same way for both pages.
struct EndActions {
    bool showEndMessage = false; // IDS_MESSAGEBOX_CONVERT_END, before the sources move
    bool trashSources = false;   // the sources of the converted files
    bool powerOff = false;       // after the sources moved, instead of the message
};

// Only a finished run acts: a cancelled or stopped one, or one that found no engine to run,
// does nothing at all. A finished one powers off (moving the sources first when asked and
// allowed) or shows the end message and then moves them.
EndActions DecideEndActions(const RunSummary &summary);

// A source the trash would not take: it stays where it was, and its row in the list.
struct KeptSource {
    QString sourcePath;
    platform::TrashResult why;
};

struct TrashReport {
    QList<FileEnd> gone; // in the order given
    QList<KeptSource> kept;
};

// Moves the sources of converted files to the trash, each only while its output is still a
// non-empty file that is not the source itself. Nothing is deleted: a source no trash takes
// is kept, and the report says why.
TrashReport TrashSources(const QList<FileEnd> &converted);

// The output name both runs use: in folder, the source's name without its last extension +
// "." + extension, or "name(1).ext", "name(2).ext", ... while that name is taken (anything
// there, a dangling link included). A name that only starts with a dot keeps it: ".clip"
// gives ".clip.mp4", never ".mp4". Empty when the folder is not valid.
QString MakeOutputName(const OutputFolder &folder, const QString &sourceName, const QString &extension);
