// Switches standard output to binary mode, so that bytes written to it reach
// the file or pipe unchanged (no line-end translation on Windows). Used by
// tools that write file contents, such as a UTF-16 .reg export, to standard
// output.
//
// Thread safety: call before anything is written to standard output.
#pragma once

namespace vrk::platform {

// Puts standard output into binary mode. Nothing to do on Linux.
void setStdoutBinary();

}  // namespace vrk::platform
