#include "platform/runtime_dir.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool IsDir(const std::string &path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::optional<std::string> RuntimeDir()
{
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    std::string dir;
    if (xdg && *xdg && IsDir(xdg))
        dir = std::string(xdg) + "/framepress";
    else
        dir = "/tmp/framepress-" + std::to_string(::getuid());

    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;

    // lstat: a symlink planted in /tmp by someone else must not redirect our sockets.
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return std::nullopt;
    if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0)
        return std::nullopt;
    return dir;
}

} // namespace platform
