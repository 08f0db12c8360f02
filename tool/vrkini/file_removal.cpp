// Plain-file removal. A directory is never removed, and a file that nobody
// may write is treated as read-only and kept, as the Windows runtime's
// remove() does; on Linux remove() would delete both.
#include "tool/vrkini/file_removal.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

bool removeFile(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status) || fs::is_directory(status)) return false;
    const fs::perms writable = fs::perms::owner_write | fs::perms::group_write |
                               fs::perms::others_write;
    if (fs::is_regular_file(status) && (status.permissions() & writable) == fs::perms::none)
        return false;
    return std::remove(path) == 0;
}
