#include "tool/vrkreg/export_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "tool/vrkreg/reg_access.hpp"

namespace vrk::regfile {

namespace {

std::string systemReason(int error) {
    return error != 0 ? std::strerror(error) : "an unknown error";
}

// Twelve random hex digits.
std::string randomSuffix() {
    static thread_local std::mt19937_64 generator{
        (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::uint64_t bits = generator();
    std::string suffix;
    for (int i = 0; i < 12; ++i, bits >>= 4) suffix.push_back(digits[bits & 15]);
    return suffix;
}

}  // namespace

ExportFile::ExportFile(const std::string& target) : target_(target) {
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) fail("it is a directory");
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = target + ".vrkreg-" + randomSuffix();
        errno = 0;
        // "x": created new or not at all (O_CREAT | O_EXCL); an existing
        // name, a symbolic link included, is never opened.
        file_ = std::fopen(temporary_.c_str(), "wbx");
        if (file_ != nullptr) return;
        if (errno != EEXIST) {
            const int error = errno;
            temporary_.clear();
            fail("it cannot be created (" + systemReason(error) + ")");
        }
    }
    temporary_.clear();
    fail("no unused temporary name beside it");
}

ExportFile::~ExportFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_ && !temporary_.empty()) std::remove(temporary_.c_str());
}

void ExportFile::fail(const std::string& why) {
    throw CommandFailure("cannot write " + target_ + ": " + why);
}

void ExportFile::write(std::string_view bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        fail("a write failed (" + systemReason(errno) + ")");
}

void ExportFile::commit() {
    errno = 0;
    if (std::fflush(file_) != 0) fail("a write failed (" + systemReason(errno) + ")");
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) fail("a write failed (" + systemReason(errno) + ")");
    std::error_code ec;
    std::filesystem::rename(temporary_, target_, ec);
    if (ec) fail("it cannot be replaced (" + ec.message() + ")");
    committed_ = true;
}

}  // namespace vrk::regfile
