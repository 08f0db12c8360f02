// Linux side of command_line.hpp: a program gets its arguments as the bytes
// it was given, so every argument is exact.
#include "platform/command_line.hpp"

namespace vrk::platform {

bool commandLineArgumentIsExact(int index, const char* text) {
    return text != nullptr && index >= 0;
}

}  // namespace vrk::platform
