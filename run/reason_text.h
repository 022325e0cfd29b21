#pragma once

#include "run/run_outcome.h"

#include <QString>

// Why a file failed, in the user's words, from the language file: one key per engine failure
// code, job-preparation error and picture error ("IDS_REASON_ENGINE_13", ...), and one per
// other kind of reason. A code without a text of its own says its number. Empty for None.
QString ReasonText(const Reason &reason);

// The key a reason's text is kept under.
QString ReasonKey(const Reason &reason);
