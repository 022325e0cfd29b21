#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

std::optional<FileSystemSpace> FileSystemOf(const std::string &path)
{
    struct stat st {};
    struct statvfs vfs {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || ::statvfs(path.c_str(), &vfs) != 0)
        return std::nullopt;

    FileSystemSpace space;
    space.total = std::uint64_t(vfs.f_blocks) * vfs.f_frsize;
    space.available = std::uint64_t(vfs.f_bavail) * vfs.f_frsize;

    std::string root = path;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    for (;;) {
        if (root == "/")
            break;
        const auto slash = root.find_last_of('/');
        const std::string parent = slash == 0 ? "/" : root.substr(0, slash);
        if (slash == std::string::npos)
            break;
        struct stat up {};
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev)
            break;
        root = parent;
    }
    space.mountRoot = root;
    return space;
}

int RenameNoReplace(const std::string &from, const std::string &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // Without the flag: a hard link refuses a taken name as well.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Nor links (FAT on a memory stick).
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

} // namespace platform
