// The platform-independent half of output_file.hpp: the shared helpers, and
// the parts of OutputFile that only use the C library.
#include "platform/output_file.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

#include "platform/output_file_common.hpp"

namespace vrk::platform {

namespace output_file_detail {

std::string reasonOf(int error) { return error != 0 ? std::strerror(error) : "an unknown error"; }

std::string temporaryNameFor(const std::string& target) {
    static thread_local std::mt19937_64 generator{
        (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::uint64_t bits = generator();
    std::string name = target + ".vrk-";
    for (int i = 0; i < 12; ++i, bits >>= 4) name.push_back(digits[bits & 15]);
    return name;
}

}  // namespace output_file_detail

OutputFile::~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_ && !temporary_.empty()) std::remove(temporary_.c_str());
}

bool OutputFile::fail(const std::string& why) {
    why_ = why;
    return false;
}

bool OutputFile::write(const char* data, std::size_t size) {
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size)
        return fail("a write failed (" + output_file_detail::reasonOf(errno) + ")");
    return true;
}

}  // namespace vrk::platform
