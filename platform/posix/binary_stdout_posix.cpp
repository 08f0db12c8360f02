// Standard output needs no mode change here: it never translates line ends.
#include "platform/binary_stdout.hpp"

namespace vrk::platform {

void setStdoutBinary() {}

}  // namespace vrk::platform
