#pragma once

#include "probe/media_facts.h"
#include "probe/mediainfo_library.h"

#include <QString>

// How long a file plays and how large and fast its first picture stream is: what the time-left
// estimate needs. Zero where MediaInfo cannot tell.
struct MediaLength {
    double seconds = 0.0;
    int width = 0;
    int height = 0;
    double frameRate = 0.0;
};

// Everything a run learns of one file: the facts its job is built from and its length.
struct MediaRecord {
    MediaFacts facts;
    MediaLength length;
};

// Asks MediaInfo the nine questions about one file and those of its length: one handle, one
// open. Never fails from the caller's side: whatever cannot be learnt stays absent (no
// library, a file that does not open, an exception inside the library or a conversion).
// Any thread (a file on a slow disk can take a while: not the window thread).
MediaRecord ProbeMedia(const QString &path, MediaInfoLibrary &library = MediaInfoLibrary::Shared());
inline MediaFacts ProbeMediaFacts(const QString &path, MediaInfoLibrary &library = MediaInfoLibrary::Shared())
{
    return ProbeMedia(path, library).facts;
}
