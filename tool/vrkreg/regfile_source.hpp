// Where the bytes of a .reg file come from. An import reads its file twice
// (a check pass, then the pass that applies it), each time in small pieces,
// so that memory follows the longest line and not the size of the file.
//
// Thread safety: one thread per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vrk::regfile {

// A read that failed: the input cannot be trusted to its end. what() says
// why ("Input/output error").
class ReadFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bytes read in order.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes into buffer and returns their count; 0 only at
    // the end of the input. Throws ReadFailure when a read fails.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
};

// Bytes held in memory.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t read(char* buffer, std::size_t size) override;

private:
    std::string_view bytes_;
};

// An input that can be read again from its first byte.
class RestartableSource : public ByteSource {
public:
    // Starts over at the first byte. A later read that does not give the
    // same bytes as the first time throws ReadFailure.
    virtual void restart() = 0;
};

// A file read twice. A regular file is read again; any other input (a pipe,
// a device) is copied to an unnamed temporary file while it is read the
// first time, and the copy is read the second time. Either way the bytes of
// the second reading are checked against the first.
class InputFile : public RestartableSource {
public:
    // Opens the file. Throws ReadFailure with the reason ("no such file",
    // "it is a directory", ...) when it cannot.
    explicit InputFile(const std::string& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::size_t read(char* buffer, std::size_t size) override;
    void restart() override;

private:
    std::FILE* file_ = nullptr;
    std::FILE* copy_ = nullptr;  // the copy of an input that cannot be read again
    bool second_ = false;        // reading for the second time
    std::uint64_t firstHash_ = 0, hash_ = 0;
    std::uint64_t firstCount_ = 0, count_ = 0;
};

}  // namespace vrk::regfile
