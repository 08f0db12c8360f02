// The common end of every registry call of every backend: the result
// becomes the calling thread's last-error value as well as the return value.
#pragma once

#include <cstdint>

#include "platform/process.hpp"

namespace vrk::reg {

// Sets the platform's last error to rc and returns it.
inline long finish(long rc) {
    platform::setLastError(static_cast<std::uint32_t>(rc));
    return rc;
}

}  // namespace vrk::reg
