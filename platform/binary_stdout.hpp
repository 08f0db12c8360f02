// Standard output's kind and mode. setStdoutBinary switches it to binary mode, so that bytes written to it reach
// the file or pipe unchanged (no line-end translation on Windows). Used by
// tools that write file contents, such as a UTF-16 .reg export, to standard
// output.
//
// Thread safety: call before anything is written to standard output.
#pragma once

namespace vrk::platform {

// Puts standard output into binary mode. Nothing to do on Linux.
void setStdoutBinary();

// Whether standard output is a terminal (a console on Windows).
bool stdoutIsTerminal();

}  // namespace vrk::platform
