#pragma once

#include "run/progress_text.h"

#include <QString>

// The value parts of the image page's labels. Each label shows its localised title followed
// directly by one of these texts, which carry their own leading space where there is one.

// Percent of a run after `done` of `total` pictures: 100 / total * done in double precision,
// rounded to single precision and truncated, so that 3 of 3 gives 100 and not 99.
int ProgressPercent(int done, int total);

// " 42% ( 5 / 12 )"
QString TotalProgressText(int done, int total);
// " 100%"
QString CurrentProgressText(int percent);

// Before a run and at its start: " 0%", " 0% ( 0 / 0 )", " 00:00:00".
QString IdleCurrentText();
QString IdleTotalText();
QString IdleElapsedText();
// After a cancelled run both progress labels read title + "0%", without the space.
QString CancelledProgressText();

// Seconds still to go when done of total pictures took doneAt seconds and now seconds have
// passed: the pictures left at the pace so far, less the time already spent on the next one,
// but never less than the pictures after that one. -1 until a picture is done.
int PicturesTimeLeft(int done, int total, double doneAt, double now);
