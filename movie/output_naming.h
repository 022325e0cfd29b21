#pragma once

#include <QString>

// Where a movie output goes: saveFolder + input base name + "." + extension, or the first of
// "name(1).ext", "name(2).ext", ... that does not exist yet. Anything of that name counts as
// taken, a folder included, so an output never replaces what is there.
// saveFolder ends with "/"; extension has no dot and is used as stored.
QString MakeOutputPath(const QString &saveFolder, const QString &inputPath, const QString &extension);
