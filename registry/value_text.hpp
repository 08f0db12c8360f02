// How every backend hands a value's bytes to a caller: the bytes written,
// and for text that does not end in a zero byte, one zero byte after them
// when the caller's buffer has room (not counted in the size), as Windows'
// ANSI calls write it. (See "Text values" in iregistry.hpp.)
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "registry/iregistry.hpp"

namespace vrk::reg {

// Copies bytes into data, a buffer of room bytes (room >= bytes.size()).
inline void copyValueBytes(unsigned char* data, std::uint32_t room, std::uint32_t type,
                           std::string_view bytes) {
    std::memcpy(data, bytes.data(), bytes.size());
    if (isTextValueType(type) && !bytes.empty() && bytes.back() != '\0' && room > bytes.size()) {
        data[bytes.size()] = 0;
    }
}

}  // namespace vrk::reg
