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

namespace vrk::reg::hive {

// Whether bytes are valid UTF-8 (hivex takes names only in that form).
bool isUtf8(std::string_view bytes);

// The UTF-16LE bytes (two per unit) for registry bytes.
std::string bytesToUtf16le(std::string_view bytes);

// The registry bytes for UTF-16LE data. False when the byte count is odd or a
// surrogate has no meaning here; result is then unspecified.
bool utf16leToBytes(std::string_view utf16le, std::string& result);

// Whether values of this type hold UTF-16 text in a hive (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ).
bool isTextType(unsigned type);

// The name with a to z upper-cased: how names are looked up and ordered.
std::string sortName(std::string_view name);

}  // namespace vrk::reg::hive
