#include "tool/vrkreg/regfile_source.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vrk::regfile {

namespace {

// FNV-1a over the bytes read, to see that the second reading gives the
// bytes the first one checked.
std::uint64_t mix(std::uint64_t hash, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(bytes[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

constexpr std::uint64_t kHashStart = 14695981039346656037ull;

std::string systemReason(int error) {
    return error != 0 ? std::strerror(error) : "an unknown read error";
}

}  // namespace

std::size_t MemorySource::read(char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, bytes_.size());
    std::memcpy(buffer, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
}

InputFile::InputFile(const std::string& path) : hash_(kHashStart) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) throw ReadFailure("it is a directory");
    errno = 0;
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        const int error = errno;
        if (error == ENOENT) throw ReadFailure("no such file");
        throw ReadFailure("it cannot be opened for reading (" + systemReason(error) + ")");
    }
    if (!std::filesystem::is_regular_file(status)) {
        copy_ = std::tmpfile();
        if (copy_ == nullptr) {
            const int error = errno;
            std::fclose(file_);
            throw ReadFailure("no temporary file to keep a copy of the input (" +
                              systemReason(error) + ")");
        }
    }
}

InputFile::~InputFile() {
    if (copy_ != nullptr) std::fclose(copy_);
    if (file_ != nullptr) std::fclose(file_);
}

std::size_t InputFile::read(char* buffer, std::size_t size) {
    std::FILE* from = second_ && copy_ != nullptr ? copy_ : file_;
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, size, from);
    if (n < size && std::ferror(from)) throw ReadFailure(systemReason(errno));
    if (!second_ && copy_ != nullptr && n > 0 && std::fwrite(buffer, 1, n, copy_) != n)
        throw ReadFailure("cannot keep a copy of the input (" + systemReason(errno) + ")");
    hash_ = mix(hash_, buffer, n);
    count_ += n;
    if (second_ &&
        (count_ > firstCount_ || (n == 0 && (count_ != firstCount_ || hash_ != firstHash_))))
        throw ReadFailure("the file changed while it was read");
    return n;
}

void InputFile::restart() {
    std::FILE* again = copy_ != nullptr ? copy_ : file_;
    if (copy_ != nullptr && std::fflush(copy_) != 0)
        throw ReadFailure("cannot keep a copy of the input (" + systemReason(errno) + ")");
    if (std::fseek(again, 0, SEEK_SET) != 0)
        throw ReadFailure("it cannot be read again (" + systemReason(errno) + ")");
    std::clearerr(again);
    second_ = true;
    firstHash_ = hash_;
    firstCount_ = count_;
    hash_ = kHashStart;
    count_ = 0;
}

}  // namespace vrk::regfile
