#pragma once

#include <optional>
#include <string>

namespace platform {

// The private runtime folder of this user: $XDG_RUNTIME_DIR/framepress, or
// /tmp/framepress-<uid> without one. Created mode 0700 on first use. When that name is
// taken by something not ours (another user's folder, a link, a file) it is left alone and a
// folder of a random name is made instead; the name is kept in the environment
// (FRAMEPRESS_RUNTIME_DIR), so that later calls and the programs we start use the same one.
// nullopt only when no private folder can be made. No Qt: the engine program uses it too.
// Safe from any thread.
std::optional<std::string> RuntimeDir();

} // namespace platform
