#pragma once

#include "run/run.h"

#include <QList>
#include <QStringList>

// The files of a command line sorted into the two runs by the extensions each mode accepts
// (IDS_SUPPORT_FILES, IDS_SUPPORT_IMAGE_FILES), as the window's lists take them. A job's row
// is the file's place among the files given, so that every report names the file as given.
struct SortedFiles {
    QList<RunJob> movies;
    QList<RunJob> pictures;
    QList<FileEnd> refused; // failed, with why: missing, not a regular file, of no accepted kind

    // Paths are made absolute from the current folder. A file named twice is taken once, as
    // a list takes it once.
    static SortedFiles Sort(const QStringList &files, const QStringList &movieExtensions,
                            const QStringList &pictureExtensions);
};
