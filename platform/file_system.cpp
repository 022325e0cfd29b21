#include "platform/file_system.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

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

} // namespace platform
