// Windows side of output_file.hpp. A device name (NUL, CON, a named pipe) is
// told apart from a disk file by the type of an open handle; a disk file is
// replaced with ReplaceFile, which keeps the old file's attributes and
// security, and a new one is moved into place.
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/output_file.hpp"
#include "platform/output_file_common.hpp"

namespace vrk::platform {

using output_file_detail::reasonOf;
using output_file_detail::temporaryNameFor;

namespace {

// Whether path opens as something other than a disk file (a device, a pipe).
bool isDevice(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    return type != FILE_TYPE_DISK && type != FILE_TYPE_UNKNOWN;
}

}  // namespace

bool inspectOutputTarget(const std::string& path, OutputTarget& target, std::string& why) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        if (isDevice(path)) {
            target = OutputTarget{OutputKind::special, path};
            return true;
        }
        why = "it cannot be looked at (" + ec.message() + ")";
        return false;
    }
    OutputKind kind = OutputKind::missing;
    if (std::filesystem::is_directory(status)) {
        kind = OutputKind::directory;
    } else if (std::filesystem::is_regular_file(status)) {
        kind = OutputKind::regular;
    } else if (std::filesystem::exists(status) || isDevice(path)) {
        kind = OutputKind::special;
    }
    target = OutputTarget{kind, path};
    return true;
}

bool keepReplacedAttributes(const std::string&, const std::string&, std::string&) {
    return true;  // ReplaceFile keeps them
}

bool OutputFile::open(const std::string& path) {
    OutputTarget t;
    if (!inspectOutputTarget(path, t, why_)) return false;
    if (t.kind == OutputKind::directory) return fail("it is a directory");
    target_ = t.path;
    if (t.kind == OutputKind::special) {
        file_ = std::fopen(target_.c_str(), "wb");
        if (file_ == nullptr)
            return fail("it cannot be opened for writing (" + reasonOf(errno) + ")");
        inPlace_ = true;
        return true;
    }
    existed_ = t.kind == OutputKind::regular;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = temporaryNameFor(target_);
        errno = 0;
        // "x": created new or not at all; an existing name is never opened.
        file_ = std::fopen(temporary_.c_str(), "wbx");
        if (file_ != nullptr) return true;
        if (errno != EEXIST) {
            const int error = errno;
            temporary_.clear();
            return fail("it cannot be created (" + reasonOf(error) + ")");
        }
    }
    temporary_.clear();
    return fail("no unused temporary name beside it");
}

bool OutputFile::commit() {
    errno = 0;
    if (std::fflush(file_) != 0) return fail("a write failed (" + reasonOf(errno) + ")");
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) return fail("a write failed (" + reasonOf(errno) + ")");
    if (inPlace_) {
        committed_ = true;
        return true;
    }
    if (existed_ && ReplaceFileA(target_.c_str(), temporary_.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        committed_ = true;
        return true;
    }
    std::error_code ec;
    std::filesystem::rename(temporary_, target_, ec);
    if (ec) return fail("it cannot be replaced (" + ec.message() + ")");
    committed_ = true;
    return true;
}

}  // namespace vrk::platform
