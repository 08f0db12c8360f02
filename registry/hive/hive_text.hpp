// Text as a hive file holds it: names as UTF-8 for hivex, string data as
// UTF-16LE, converted by the rules of utf16_text.hpp; and stored text that
// is not clean UTF-16, read as Windows' ANSI calls read it.
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
