// Reads the text of a .reg file (REGEDIT4, version 5 or the Windows 3.1
// REGEDIT format; 8-bit or UTF-16LE)
// into the list of changes it asks for. Nothing here touches a registry: a
// file is checked whole before anything is applied, so a malformed file
// changes nothing.
//
// Thread safety: pure function.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tool/vrkreg/regfile_model.hpp"
#include "tool/vrkreg/regfile_source.hpp"

namespace vrk::regfile {

struct ParseResult {
    bool ok = false;
    int version = 0;                    // 3 (Windows 3.1 REGEDIT), 4 (REGEDIT4) or 5
    bool utf16 = false;                 // the file started with FF FE
    std::vector<Operation> operations;  // in file order, when ok
    unsigned errorLine = 0;             // when not ok: the line at fault (1-based)
    std::string error;                  // when not ok: what was wrong
};

// Limits of the reader. A longer line, or a value with more data, makes the
// file malformed at that line. Memory follows the longest line and the
// largest value, never the size of the file.
inline constexpr std::size_t kMaxLineLength = 4u << 20;  // characters (bytes or UTF-16 units)
inline constexpr std::size_t kMaxValueSize = 16u << 20;  // bytes of one value's data

// Receives each change of a file, in file order.
using OperationSink = std::function<void(Operation&&)>;

// Receives a malformed line that is skipped: its number and what is wrong.
using SkipSink = std::function<void(unsigned line, const std::string& reason)>;

// Reads a file from source a piece at a time and hands each change to
// onOperation as soon as its line is read; the operations of the result stay
// empty. On a malformed line the result says where and why, and the changes
// already handed over were those of the lines before it. A ReadFailure of the
// source, and any exception of onOperation, leave this function.
// With onSkipped, a malformed line is handed to it and skipped instead, as
// Windows' reg skips it (the value lines below a skipped key line are
// skipped too); a bad header and faults of the input as a whole (its
// encoding, a NUL, a line past the limits) still end the parse.
ParseResult parseRegStream(ByteSource& source, const OperationSink& onOperation,
                           const SkipSink* onSkipped = nullptr);

// Parses a whole file's bytes. Text in UTF-16 files and the UTF-16 data of
// hex(1), hex(2) and hex(7) in version 5 files become store bytes as
// regfile_text.hpp describes; 8-bit text is kept byte for byte.
ParseResult parseRegFile(std::string_view fileBytes);

}  // namespace vrk::regfile
