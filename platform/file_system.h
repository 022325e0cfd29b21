#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileSystemSpace {
    std::string mountRoot;       // topmost folder above the path on the same file system
    std::uint64_t total = 0;     // bytes
    std::uint64_t available = 0; // bytes an unprivileged user may still write
};

// Size and room of the file system holding path, read with statvfs. The mount root is found
// by walking up while the device stays the same, so it works where no mount table can be
// read for the path (chroots, some containers). nullopt when path cannot be read.
std::optional<FileSystemSpace> FileSystemOf(const std::string &path);

// Gives the file `from` the name `to` unless a file has that name: 0, or the errno why not
// (EEXIST when the name is taken). Where the file system knows neither renaming without
// replacing nor hard links (FAT through FUSE, shares mounted by the desktop), a plain rename
// once the name is seen free, as Qt does.
int RenameNoReplace(const std::string &from, const std::string &to);

} // namespace platform
