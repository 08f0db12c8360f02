// The platform's registry on Windows: the machine's registry.
#include "registry/win32/win32_registry.hpp"

namespace vrk::reg {

Registry& platformRegistry() {
    static Win32Registry machine;
    return machine;
}

}  // namespace vrk::reg
