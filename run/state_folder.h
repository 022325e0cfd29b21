#pragma once

#include <QString>

// Where the run log and the saved lists live: $XDG_STATE_HOME/framepress, or
// ~/.local/state/framepress when that is not set. Not created here.
QString StateFolder();
QString RunLogPath();
