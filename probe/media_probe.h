#pragma once

#include "probe/media_facts.h"
#include "probe/mediainfo_library.h"

#include <QString>

// Asks MediaInfo the nine questions about one file: one handle, one open, nine queries.
// Never fails from the caller's side: whatever cannot be learnt stays absent (no library,
// a file that does not open, an exception inside the library or a conversion).
// Window thread; one probe at a time.
MediaFacts ProbeMediaFacts(const QString &path,
                           MediaInfoLibrary &library = MediaInfoLibrary::Shared());
