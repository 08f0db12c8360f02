// The file an export writes: its bytes go to a new temporary file beside the
// target, created exclusively under an unpredictable name (so that no file
// or link planted there is ever opened), and renamed over the target only
// when everything was written. A failed export leaves the target as it was.
//
// Thread safety: one thread per object.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vrk::regfile {

class ExportFile {
public:
    // Creates the temporary file beside target. Throws CommandFailure
    // ("cannot write TARGET: ...") when it cannot.
    explicit ExportFile(const std::string& target);
    // Removes the temporary file unless commit() succeeded.
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Appends bytes. Throws CommandFailure when a write fails.
    void write(std::string_view bytes);
    // Flushes and closes the file and renames it over the target. Throws
    // CommandFailure when any step fails.
    void commit();

    // The temporary file's name.
    const std::string& temporaryPath() const { return temporary_; }

private:
    [[noreturn]] void fail(const std::string& why);

    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace vrk::regfile
