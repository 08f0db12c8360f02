// Writing a whole file at a path that may already hold something: the one
// rule of every file the programs make (an export, a hive written back):
//
// - Nothing there, or a regular file: the bytes go to a new file beside it,
//   created exclusively under an unpredictable name, which takes the place of
//   the old file in one rename only when it is complete. A replaced file
//   keeps its permission bits and, where the process may give a file away
//   (root), its owner and group.
// - Something else that can be written (a FIFO, a device, a terminal): it is
//   written into as it is, as a shell's ">" does, and never replaced.
// - A directory, or what cannot be opened for writing (a socket): refused.
//
// Symbolic links are followed: the file a link leads to is the one written or
// replaced, never the link.
//
// Thread safety: one thread per OutputFile; the free functions may be called
// from any thread.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace vrk::platform {

enum class OutputKind { missing, regular, special, directory };

// What a path leads to.
struct OutputTarget {
    OutputKind kind = OutputKind::missing;
    std::string path;  // the path with its symbolic links followed
};

// Looks at what path leads to. False, with why, when it cannot be told (a
// loop of links, a directory that may not be searched).
bool inspectOutputTarget(const std::string& path, OutputTarget& target, std::string& why);

// For a writer that makes its new file itself (a hive written back by its
// library): gives fresh the permission bits and, where the process may, the
// owner and group of replaced, the regular file it is about to take the place
// of. False, with why, when the permission bits cannot be set.
bool keepReplacedAttributes(const std::string& fresh, const std::string& replaced,
                            std::string& why);

class OutputFile {
public:
    OutputFile() = default;
    // Closes the file; a new file not committed is removed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens path for writing as the rule above says. False, with why(), when
    // it cannot ("it is a directory", "it cannot be created (...)").
    bool open(const std::string& path);
    // Appends bytes. False, with why(), when a write fails (a full disk, the
    // process's file-size limit).
    bool write(const char* data, std::size_t size);
    // Finishes the file: a new file is flushed, synced, given the replaced
    // file's attributes and moved into place; a file written in place is
    // flushed and closed. False, with why(), when a step fails; a new file is
    // then removed and the old one left as it was.
    bool commit();

    // Whether the target is written in place (a FIFO, a device).
    bool inPlace() const { return inPlace_; }
    // The new file's name while one is written ("" in place).
    const std::string& temporaryPath() const { return temporary_; }
    const std::string& why() const { return why_; }

private:
    bool fail(const std::string& why);

    std::string target_;     // the file replaced or written into
    std::string temporary_;  // the new file beside it
    std::string why_;
    std::FILE* file_ = nullptr;
    bool inPlace_ = false;
    bool existed_ = false;
    bool committed_ = false;
};

}  // namespace vrk::platform
