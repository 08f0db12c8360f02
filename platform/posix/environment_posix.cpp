// Linux side of environment.hpp.
#include "platform/environment.hpp"

#include <cstdlib>

namespace vrk::platform {

bool setEnvironmentVariable(const char* name, const char* value) {
    return ::setenv(name, value, 1) == 0;
}

void unsetEnvironmentVariable(const char* name) { ::unsetenv(name); }

bool environmentKeepsEmptyValues() { return true; }

}  // namespace vrk::platform
