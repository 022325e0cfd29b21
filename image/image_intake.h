#pragma once

#include "shell/file_intake.h"

#include <QSize>
#include <QString>
#include <QStringList>

// Plain rules of the image page's intake and list commands, so that the page only wires them
// to its list and message boxes. Window thread.

// The HD and SD target boxes, read once from the language file (IDS_GOPT_OUTHDIMAGE_X ...),
// each side like _wtoi: a missing or non-numeric side is 0, and a box with a 0 side fails its
// pictures rather than dividing by zero.
struct ImageBoxes {
    QSize hd;
    QSize sd;
    static ImageBoxes FromLang();
    QSize Chosen(bool hdChecked) const { return hdChecked ? hd : sd; }
};
