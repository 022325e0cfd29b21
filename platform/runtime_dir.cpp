#include "platform/runtime_dir.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr const char *kOwnFolderVariable = "FRAMEPRESS_RUNTIME_DIR";

bool IsDir(const std::string &path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// lstat: a link planted in /tmp by someone else must not redirect our sockets.
bool IsOurFolder(const std::string &path, struct stat &st)
{
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool IsPrivateFolder(const std::string &path)
{
    struct stat st {};
    return IsOurFolder(path, st) && (st.st_mode & 077) == 0;
}

} // namespace

std::optional<std::string> RuntimeDir()
{
    static std::mutex mutex;
    std::lock_guard lock(mutex);

    if (const char *own = std::getenv(kOwnFolderVariable); own && *own && IsPrivateFolder(own))
        return std::string(own);

    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    const bool hasXdg = xdg && *xdg && IsDir(xdg);
    const std::string dir = hasXdg ? std::string(xdg) + "/framepress" : "/tmp/framepress-" + std::to_string(::getuid());

    const bool made = ::mkdir(dir.c_str(), 0700) == 0;
    struct stat st {};
    if ((made || errno == EEXIST) && IsOurFolder(dir, st)) {
        if ((st.st_mode & 077) == 0 || ::chmod(dir.c_str(), 0700) == 0)
            return dir;
    }

    // The name is someone else's: a fresh folder of a name nobody can guess in advance.
    std::string pattern = (hasXdg ? std::string(xdg) + "/framepress-" : dir + "-") + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))
        return std::nullopt;
    const std::string own(name.data());
    ::setenv(kOwnFolderVariable, own.c_str(), 1);
    return own;
}

} // namespace platform
