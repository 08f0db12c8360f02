// Text conversions between the registry's 8-bit names and data and UTF-16LE,
// the form of string data in .reg files and hive files.
//
// The registry keeps bytes. Bytes that form valid UTF-8 become the characters
// they encode; every other byte b (0x80..0xFF) becomes the lone low surrogate
// U+DC00 + b, so that any byte string survives the trip to UTF-16 and back.
// Reading UTF-16 turns surrogate pairs into 4-byte UTF-8 and a lone
// U+DC80..U+DCFF back into its byte.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vrk::reg {

// The length of the valid UTF-8 sequence starting at bytes[i], with its code
// point in cp, or 0 when none starts there (overlong forms, surrogates and
// values past U+10FFFF are not valid).
std::size_t utf8SequenceAt(std::string_view bytes, std::size_t i, std::uint32_t& cp);

// Whether bytes are valid UTF-8 throughout.
bool isUtf8(std::string_view bytes);

// The UTF-16LE bytes (two per unit) for registry bytes.
std::string storeBytesToUtf16le(std::string_view bytes);

// The registry bytes for UTF-16LE data. False when the byte count is odd or a
// surrogate has no meaning here (why in *error when error is not null);
// result is left as it was then.
bool utf16leToStoreBytes(std::string_view utf16le, std::string& result,
                         std::string* error = nullptr);

}  // namespace vrk::reg
