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
constexpr int kFallbackNames = 16;

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

// Ours and private, made so when it did not exist; anything else is left alone.
bool TakeFolder(const std::string &path)
{
    const bool made = ::mkdir(path.c_str(), 0700) == 0;
    struct stat st {};
    return (made || errno == EEXIST) && IsOurFolder(path, st)
           && ((st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0);
}

std::string PrimaryName()
{
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    return xdg && *xdg && IsDir(xdg) ? std::string(xdg) + "/framepress"
                                     : "/tmp/framepress-" + std::to_string(::getuid());
}

} // namespace

std::optional<std::string> RuntimeDir()
{
    static std::mutex mutex;
    std::lock_guard lock(mutex);

    if (const char *own = std::getenv(kOwnFolderVariable); own && *own && IsPrivateFolder(own))
        return std::string(own);

    const std::string dir = PrimaryName();
    if (TakeFolder(dir))
        return dir;

    // The name is someone else's. The next names in a fixed order, so that every start of
    // this user, and a second copy started beside the first, finds the same folder again.
    std::string own;
    for (int n = 1; n <= kFallbackNames && own.empty(); ++n) {
        if (const std::string name = dir + "-" + std::to_string(n); TakeFolder(name))
            own = name;
    }
    if (own.empty()) {
        // Every one of them taken: a name nobody can guess in advance, for this start alone.
        std::string pattern = dir + "-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!::mkdtemp(name.data()))
            return std::nullopt;
        own = name.data();
    }
    ::setenv(kOwnFolderVariable, own.c_str(), 1);
    return own;
}

void ReleaseRuntimeDir()
{
    const char *own = std::getenv(kOwnFolderVariable);
    if (!own || !*own || own == PrimaryName() || !IsPrivateFolder(own))
        return;
    // Fails, as it should, while another copy's socket or an engine's pipe is still in it.
    ::rmdir(own);
}

} // namespace platform
