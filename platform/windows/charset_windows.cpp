// Windows side of charset.hpp.
#include "platform/charset.hpp"

#include <cstdlib>

#include <windows.h>

namespace vrk::platform {

bool systemUsesDoubleByteCharacterSet() {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) != 0 && info.MaxCharSize > 1;
}

bool characterSetIsMultiByte() { return MB_CUR_MAX > 1; }

}  // namespace vrk::platform
