#pragma once

#include <optional>
#include <string>

namespace platform {

// The private runtime folder of this user: $XDG_RUNTIME_DIR/framepress, or
// /tmp/framepress-<uid> without one. Created mode 0700 on first use. When that name is
// taken by something not ours (another user's folder, a link, a file) it is left alone and the
// first of "<name>-1" … "<name>-16" that is ours or can be made ours is used instead, so that
// the next start finds it again; only when all are taken, one of a random name. The name is
// kept in the environment (FRAMEPRESS_RUNTIME_DIR), so that later calls and the programs we
// start use the same one. nullopt only when no private folder can be made. No Qt: the engine
// program uses it too. Safe from any thread.
std::optional<std::string> RuntimeDir();

// At a program's exit: a stand-in folder is removed when nothing is left in it (another copy's
// socket keeps it). The usual one stays, so that nobody else can take its name.
void ReleaseRuntimeDir();

} // namespace platform
