// UTF-8 / UTF-16LE conversions for hive names and string data.
#include "platform/registry/hive/hive_text.hpp"

#include <cstdint>

namespace vrk::reg::hive {

namespace {

// The length of the valid UTF-8 sequence starting at s[i] and its code point,
// or 0 when none starts there.
std::size_t utf8Sequence(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n;
    std::uint32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        n = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

void putUnit(std::string& out, std::uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
}

void putUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool isUtf8(std::string_view bytes) {
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = utf8Sequence(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string bytesToUtf16le(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = utf8Sequence(bytes, i, cp);
        if (n == 0) {
            putUnit(out, 0xDC00 + static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            putUnit(out, 0xD800 + (cp >> 10));
            putUnit(out, 0xDC00 + (cp & 0x3FF));
        } else {
            putUnit(out, cp);
        }
        i += n;
    }
    return out;
}

bool utf16leToBytes(std::string_view utf16le, std::string& result) {
    result.clear();
    if (utf16le.size() % 2 != 0) return false;
    const auto unit = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(utf16le[2 * k])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(utf16le[2 * k + 1])) << 8;
    };
    const std::size_t units = utf16le.size() / 2;
    for (std::size_t k = 0; k < units; ++k) {
        std::uint32_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 &&
            unit(k + 1) <= 0xDFFF) {
            putUtf8(result, 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            result.push_back(static_cast<char>(u - 0xDC00));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            return false;
        } else {
            putUtf8(result, u);
        }
    }
    return true;
}

bool isTextType(unsigned type) { return type == 1 || type == 2 || type == 7; }

std::string sortName(std::string_view name) {
    std::string s(name);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

}  // namespace vrk::reg::hive
