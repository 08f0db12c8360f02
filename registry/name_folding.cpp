// Names as the registry compares, limits and orders them (UTF-16 code units,
// Unicode's simple upper-case mapping), taken from ICU.
#include "registry/name_folding.hpp"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace vrk::reg {

namespace {

// Calls unit(u) for each UTF-16 code unit of a valid UTF-8 name; false (and
// possibly some calls) for any other name.
template <class F>
bool forEachUnit(std::string_view name, F&& unit) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(name.data());
    const std::int32_t length = static_cast<std::int32_t>(name.size());
    if (static_cast<std::size_t>(length) != name.size()) return false;
    std::int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return false;
        if (c <= 0xFFFF) {
            unit(static_cast<char16_t>(c));
        } else {
            unit(static_cast<char16_t>(U16_LEAD(c)));
            unit(static_cast<char16_t>(U16_TRAIL(c)));
        }
    }
    return true;
}

// The simple upper-case mapping of one code unit; a unit whose mapping lies
// outside the basic plane (none in current Unicode) stays as it is.
char16_t upperUnit(char16_t u) {
    if (U16_IS_SURROGATE(u)) return u;
    UChar32 upper = u_toupper(u);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : u;
}

}  // namespace

std::string sortName(std::string_view name) {
    std::string folded;
    folded.reserve(1 + 2 * name.size());
    folded.push_back(kUnicodeTag);
    const bool unicode = forEachUnit(name, [&](char16_t u) {
        const char16_t upper = upperUnit(u);
        folded.push_back(static_cast<char>(upper >> 8));
        folded.push_back(static_cast<char>(upper & 0xFF));
    });
    return unicode ? folded : byteSortName(name);
}

std::string byteSortName(std::string_view name) {
    std::string folded;
    folded.reserve(1 + name.size());
    folded.push_back(kBytesTag);
    for (char c : name)
        folded.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    return folded;
}

}  // namespace vrk::reg
