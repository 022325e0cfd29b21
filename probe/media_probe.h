#pragma once

#include "probe/media_facts.h"
#include "probe/mediainfo_library.h"

#include <QString>

// Asks MediaInfo the nine questions about one file: one handle, one open, nine queries.
// Never fails from the caller's side: whatever cannot be learnt stays absent (no library,
// a file that does not open, an exception inside the library or a conversion).
// Window thread; one probe at a time.
MediaFacts ProbeMediaFacts(const QString &path, MediaInfoLibrary &library = MediaInfoLibrary::Shared());

// How long a file plays and how large and fast its first picture stream is: what the time-left
// estimate needs. Zero where MediaInfo cannot tell.
struct MediaLength {
    double seconds = 0.0;
    int width = 0;
    int height = 0;
    double frameRate = 0.0;
};
MediaLength ProbeMediaLength(const QString &path, MediaInfoLibrary &library = MediaInfoLibrary::Shared());
