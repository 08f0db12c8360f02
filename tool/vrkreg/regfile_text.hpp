// Text conversions between the store's 8-bit names and data and the UTF-16LE
// text of version 5 .reg files: the registry layer's conversions
// (registry/utf16_text.hpp), and the character count of names.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "registry/utf16_text.hpp"

namespace vrk::regfile {

using vrk::reg::storeBytesToUtf16le;
using vrk::reg::utf16leToStoreBytes;

// The number of characters in store bytes: a UTF-8 sequence counts one, any
// other byte one. Used for the registry's length limits on names.
std::size_t characterCount(std::string_view bytes);

}  // namespace vrk::regfile
