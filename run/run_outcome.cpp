#include "run/run_outcome.h"

int RunSummary::Count(Outcome outcome) const
{
    int n = 0;
    for (const FileEnd &file : files)
        n += file.outcome == outcome ? 1 : 0;
    return n;
}

QList<FileEnd> RunSummary::Files(Outcome outcome) const
{
    QList<FileEnd> out;
    for (const FileEnd &file : files) {
        if (file.outcome == outcome)
            out.append(file);
    }
    return out;
}
