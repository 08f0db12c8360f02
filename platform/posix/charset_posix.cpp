// Linux side of charset.hpp.
#include "platform/charset.hpp"

#include <cstdlib>

namespace vrk::platform {

bool systemUsesDoubleByteCharacterSet() { return false; }

bool characterSetIsMultiByte() { return MB_CUR_MAX > 1; }

}  // namespace vrk::platform
