// Standard output in binary mode: the C runtime would otherwise turn every
// LF byte into CR LF.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/binary_stdout.hpp"

namespace vrk::platform {

void setStdoutBinary() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool stdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

}  // namespace vrk::platform
