// Text conversions between the registry's 8-bit names and data and what a
// hive file holds: names as UTF-8 for hivex, string data as UTF-16LE.
//
// The registry keeps bytes. Bytes that form valid UTF-8 become the characters
// they encode; every other byte b (0x80..0xFF) becomes the lone low surrogate
// U+DC00 + b, so that any byte string survives the trip to UTF-16 and back.
// Reading UTF-16 turns surrogate pairs into 4-byte UTF-8 and a lone
// U+DC80..U+DCFF back into its byte.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

#include "registry/utf16_text.hpp"

namespace vrk::reg::hive {

// The registry layer's conversions (registry/utf16_text.hpp): names
// go to hivex as UTF-8, string data as UTF-16LE.
using vrk::reg::isUtf8;

inline std::string bytesToUtf16le(std::string_view bytes) {
    return vrk::reg::storeBytesToUtf16le(bytes);
}

// False when the byte count is odd or a surrogate has no meaning here;
// result is then unspecified.
inline bool utf16leToBytes(std::string_view utf16le, std::string& result) {
    return vrk::reg::utf16leToStoreBytes(utf16le, result);
}

// What Windows' ANSI call gives for stored text that may not be clean
// UTF-16: every whole unit up to the stored length converted (an odd last
// byte left off), bytes after a terminating zero included, an unpaired
// surrogate that stands for no byte here read as U+FFFD.
std::string storedTextAsBytes(std::string_view utf16le);


}  // namespace vrk::reg::hive
