// Standard output needs no mode change here: it never translates line ends.
#include <unistd.h>

#include "platform/binary_stdout.hpp"

namespace vrk::platform {

void setStdoutBinary() {}

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace vrk::platform
