// Writes key blocks as a version 5 .reg file: UTF-16LE with the byte-order
// mark, CRLF line ends, one block per key followed by an empty line, and hex
// data wrapped the way `reg export` wraps it.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <vector>

#include "tool/vrkreg/regfile_model.hpp"

namespace vrk::regfile {

// The file's bytes for the blocks, in the order given. Returns false with a
// reason in error when a name cannot be written faithfully (a key name with
// a line break, a name with a NUL byte); nothing is produced then.
bool writeRegFile(const std::vector<KeyBlock>& blocks, std::string& fileBytes, std::string& error);

// The same file a piece at a time: the header (byte-order mark, header line
// and the empty line after it), then each block appended to fileBytes.
// appendKeyBlock fails as writeRegFile does and then appends nothing.
std::string regFileHeader();
bool appendKeyBlock(const KeyBlock& block, std::string& fileBytes, std::string& error);

// The text of one value line (without its line end), as 8-bit store bytes
// before the conversion to UTF-16: "\"name\"=dword:0000002a" and the like.
// Wrapped hex data holds "\\\r\n  " at each break.
std::string valueLineText(const ValueEntry& value);

}  // namespace vrk::regfile
