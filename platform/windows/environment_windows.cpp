// Windows side of environment.hpp: the runtime's own copy of the
// environment, which its getenv reads, and the process's, which child
// processes inherit.
#include "platform/environment.hpp"

#include <cstdlib>

#include <windows.h>

namespace vrk::platform {

bool setEnvironmentVariable(const char* name, const char* value) {
    if (_putenv_s(name, value) != 0) return false;
    SetEnvironmentVariableA(name, *value != '\0' ? value : nullptr);
    return true;
}

void unsetEnvironmentVariable(const char* name) {
    _putenv_s(name, "");
    SetEnvironmentVariableA(name, nullptr);
}

bool environmentKeepsEmptyValues() { return false; }

}  // namespace vrk::platform
