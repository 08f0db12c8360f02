// Reads the text of a .reg file (REGEDIT4 or version 5, 8-bit or UTF-16LE)
// into the list of changes it asks for. Nothing here touches a registry: a
// file is checked whole before anything is applied, so a malformed file
// changes nothing.
//
// Thread safety: pure function.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tool/vrkreg/regfile_model.hpp"

namespace vrk::regfile {

struct ParseResult {
    bool ok = false;
    int version = 0;                     // 4 (REGEDIT4) or 5
    bool utf16 = false;                  // the file started with FF FE
    std::vector<Operation> operations;  // in file order, when ok
    unsigned errorLine = 0;              // when not ok: the line at fault (1-based)
    std::string error;                   // when not ok: what was wrong
};

// Parses a whole file's bytes. Text in UTF-16 files and the UTF-16 data of
// hex(1), hex(2) and hex(7) in version 5 files become store bytes as
// regfile_text.hpp describes; 8-bit text is kept byte for byte.
ParseResult parseRegFile(std::string_view fileBytes);

}  // namespace vrk::regfile
