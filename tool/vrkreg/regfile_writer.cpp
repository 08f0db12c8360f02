#include <algorithm>
#include "tool/vrkreg/regfile_writer.hpp"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "tool/vrkreg/regfile_text.hpp"

namespace vrk::regfile {
namespace {

// A hex data line is broken once it reaches this many characters.
constexpr std::size_t kHexLineLimit = 77;

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}


// Characters the text takes in the UTF-16 file.
std::size_t fileColumns(const std::string& text) { return storeBytesToUtf16le(text).size() / 2; }

}  // namespace

std::string valueLineText(const ValueEntry& value) {
    std::string line = value.name.empty() ? std::string("@") : escaped(value.name);
    line += '=';
    if (value.type == vrk::reg::kRegSz) {
        // Written as Windows' reg export writes it: the text up to its first
        // zero, so text stored without one is written whole and anything
        // after a zero inside it is left out.
        const std::string_view text(value.data.data(),
                                    std::min(value.data.find('\0'), value.data.size()));
        line += escaped(std::string(text));
        return line;
    }
    char buf[32];
    if (value.type == vrk::reg::kRegDword && value.data.size() == 4) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v));
        line += buf;
        return line;
    }
    if (value.type == vrk::reg::kRegBinary) {
        line += "hex:";
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
        line += buf;
    }
    const std::string bytes =
        vrk::reg::isTextValueType(value.type) ? storeBytesToUtf16le(value.data) : value.data;
    std::size_t column = fileColumns(line);
    static const char digits[] = "0123456789abcdef";
    line.reserve(line.size() + bytes.size() * 3 + bytes.size() / 25 * 5);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        line += digits[b >> 4];
        line += digits[b & 15];
        if (i + 1 == bytes.size()) break;
        line += ',';
        column += 3;
        if (column >= kHexLineLimit) {
            line += "\\\r\n  ";
            column = 2;
        }
    }
    return line;
}

std::string regFileHeader() {
    return "\xFF\xFE" + storeBytesToUtf16le("Windows Registry Editor Version 5.00\r\n\r\n");
}

bool appendKeyBlock(const KeyBlock& block, std::string& fileBytes, std::string& error) {
    const std::string path = fullPath(block.key);
    if (path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        error = "the key name \"" + path +
                "\" holds a line break or NUL, which a .reg file cannot hold";
        return false;
    }
    std::string text = "[" + path + "]\r\n";
    for (const ValueEntry& value : block.values) {
        if (value.name.find('\0') != std::string::npos) {
            error =
                "a value name of key \"" + path + "\" holds a NUL, which a .reg file cannot hold";
            return false;
        }
        text += valueLineText(value);
        text += "\r\n";
    }
    text += "\r\n";
    fileBytes += storeBytesToUtf16le(text);
    return true;
}

bool writeRegFile(const std::vector<KeyBlock>& blocks, std::string& fileBytes, std::string& error) {
    std::string bytes = regFileHeader();
    for (const KeyBlock& block : blocks) {
        if (!appendKeyBlock(block, bytes, error)) return false;
    }
    fileBytes = std::move(bytes);
    return true;
}

}  // namespace vrk::regfile
