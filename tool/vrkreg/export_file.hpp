// The file an export writes, by the rule of every file the programs write
// (platform/output_file.hpp): a regular file (or none) is replaced by a new
// file beside it, renamed over it only when everything was written, keeping
// its permissions; a FIFO or a device is written into as it is, never
// replaced. A failed export leaves a regular target as it was.
//
// Thread safety: one thread per object.
#pragma once

#include <string>
#include <string_view>

#include "platform/output_file.hpp"

namespace vrk::regfile {

class ExportFile {
public:
    // Opens the target. Throws CommandFailure ("cannot write TARGET: ...")
    // when it cannot.
    explicit ExportFile(const std::string& target);

    // Appends bytes. Throws CommandFailure when a write fails.
    void write(std::string_view bytes);
    // Finishes the file (see OutputFile::commit). Throws CommandFailure when
    // any step fails.
    void commit();

private:
    [[noreturn]] void fail();

    std::string target_;
    vrk::platform::OutputFile file_;
};

}  // namespace vrk::regfile
