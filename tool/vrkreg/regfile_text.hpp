// Text conversions between the store's 8-bit names and data and the UTF-16LE
// text of version 5 .reg files.
//
// The store keeps bytes. Bytes that form valid UTF-8 become the characters they
// encode; every other byte b (always 0x80..0xFF) becomes the lone low surrogate
// U+DC00 + b, so that any byte string survives the trip to UTF-16 and back
// unchanged. Reading UTF-16 turns surrogate pairs into 4-byte UTF-8 and a lone
// U+DC80..U+DCFF back into its byte; any other lone surrogate is refused.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vrk::regfile {

// The UTF-16LE bytes (two per unit, no byte-order mark) for the store bytes.
std::string storeBytesToUtf16le(std::string_view bytes);

// The store bytes for UTF-16LE bytes. Returns false, leaving a reason in
// *error, when the byte count is odd or a surrogate cannot be converted.
bool utf16leToStoreBytes(std::string_view utf16le, std::string& result, std::string* error);

// The number of characters in store bytes: a UTF-8 sequence counts one, any
// other byte one. Used for the registry's length limits on names.
std::size_t characterCount(std::string_view bytes);

}  // namespace vrk::regfile
