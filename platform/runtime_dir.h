#pragma once

#include <optional>
#include <string>

namespace platform {

// The private runtime folder of this user: $XDG_RUNTIME_DIR/framepress, or
// /tmp/framepress-<uid> without one. Created mode 0700 on first use; nullopt when it
// cannot be created, is not a real folder, or belongs to someone else. No Qt: the
// engine program uses it too. Safe from any thread.
std::optional<std::string> RuntimeDir();

} // namespace platform
