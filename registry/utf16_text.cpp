// UTF-8 / UTF-16LE conversions of registry bytes.
#include "registry/utf16_text.hpp"

namespace vrk::reg {

namespace {

void putUnit(std::string& out, std::uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
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

std::size_t utf8SequenceAt(std::string_view bytes, std::size_t i, std::uint32_t& cp) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char b0 = at(i);
    const std::size_t left = bytes.size() - i;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    const auto cont = [&](std::size_t k) {
        return i + k < bytes.size() && (at(i + k) & 0xC0) == 0x80;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (left < 2 || !cont(1)) return 0;
        cp = ((b0 & 0x1Fu) << 6) | (at(i + 1) & 0x3Fu);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (left < 3 || !cont(1) || !cont(2)) return 0;
        cp = ((b0 & 0x0Fu) << 12) | ((at(i + 1) & 0x3Fu) << 6) | (at(i + 2) & 0x3Fu);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (left < 4 || !cont(1) || !cont(2) || !cont(3)) return 0;
        cp = ((b0 & 0x07u) << 18) | ((at(i + 1) & 0x3Fu) << 12) | ((at(i + 2) & 0x3Fu) << 6) |
             (at(i + 3) & 0x3Fu);
        if (cp < 0x10000 || cp > 0x10FFFF) return 0;
        return 4;
    }
    return 0;
}

bool isUtf8(std::string_view bytes) {
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = utf8SequenceAt(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}


std::string storeBytesToUtf16le(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::uint32_t cp = 0;
        const std::size_t n = utf8SequenceAt(bytes, i, cp);
        if (n == 0) {
            putUnit(out, 0xDC00u + static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            putUnit(out, 0xD800u + (cp >> 10));
            putUnit(out, 0xDC00u + (cp & 0x3FF));
        } else {
            putUnit(out, cp);
        }
        i += n;
    }
    return out;
}

bool utf16leToStoreBytes(std::string_view utf16le, std::string& result, std::string* error) {
    if (utf16le.size() % 2 != 0) {
        if (error) *error = "UTF-16 text with an odd number of bytes";
        return false;
    }
    std::string out;
    out.reserve(utf16le.size() / 2);
    const std::size_t units = utf16le.size() / 2;
    const auto unitAt = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(utf16le[2 * k])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(utf16le[2 * k + 1])) << 8);
    };
    for (std::size_t k = 0; k < units; ++k) {
        const std::uint32_t u = unitAt(k);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (k + 1 < units) {
                const std::uint32_t low = unitAt(k + 1);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    putUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                    ++k;
                    continue;
                }
            }
            if (error) *error = "UTF-16 text with an unpaired high surrogate";
            return false;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) {
            if (u >= 0xDC80 && u <= 0xDCFF) {
                out.push_back(static_cast<char>(u - 0xDC00));
                continue;
            }
            if (error) *error = "UTF-16 text with an unpaired low surrogate";
            return false;
        }
        putUtf8(out, u);
    }
    result = std::move(out);
    return true;
}

}  // namespace vrk::reg
