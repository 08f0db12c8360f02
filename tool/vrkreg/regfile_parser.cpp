#include "tool/vrkreg/regfile_parser.hpp"

#include <cstdint>
#include <optional>
#include <utility>

#include "tool/vrkreg/regfile_text.hpp"

namespace vrk::regfile {
namespace {

const char* const kHeader4 = "REGEDIT4";
const char* const kHeader5 = "Windows Registry Editor Version 5.00";

struct Line {
    unsigned number = 0;
    std::string text;  // store bytes, without the line break
};

// Thrown inside the parser only; parseRegFile turns it into its result.
struct ParseError {
    unsigned line;
    std::string reason;
};

[[noreturn]] void fail(unsigned line, std::string reason) {
    throw ParseError{line, std::move(reason)};
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void checkNoNul(const std::string& text, unsigned number) {
    if (text.find('\0') != std::string::npos) fail(number, "NUL character in the line");
}

// Splits 8-bit text at CRLF, LF or CR.
std::vector<Line> splitBytes(std::string_view bytes) {
    std::vector<Line> lines;
    unsigned number = 1;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back({number++, std::string(bytes.substr(start, i - start))});
            i += (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size()) lines.push_back({number, std::string(bytes.substr(start))});
    for (const Line& l : lines) checkNoNul(l.text, l.number);
    return lines;
}

// Splits UTF-16LE text (after the byte-order mark) at CR LF, LF or CR and
// converts each line to store bytes.
std::vector<Line> splitUtf16(std::string_view bytes) {
    std::vector<Line> lines;
    unsigned number = 1;
    const std::size_t units = bytes.size() / 2;
    const auto unitAt = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * k])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * k + 1])) << 8);
    };
    const auto convert = [&](std::size_t from, std::size_t to, unsigned line) {
        std::string text;
        std::string why;
        if (!utf16leToStoreBytes(bytes.substr(2 * from, 2 * (to - from)), text, &why)) fail(line, why);
        checkNoNul(text, line);
        return text;
    };
    std::size_t start = 0;
    std::size_t k = 0;
    while (k < units) {
        const std::uint32_t u = unitAt(k);
        if (u == '\r' || u == '\n') {
            lines.push_back({number, convert(start, k, number)});
            ++number;
            k += (u == '\r' && k + 1 < units && unitAt(k + 1) == '\n') ? 2 : 1;
            start = k;
        } else {
            ++k;
        }
    }
    if (start < units) lines.push_back({number, convert(start, units, number)});
    if (bytes.size() % 2 != 0) fail(number, "the UTF-16 file ends in the middle of a character");
    return lines;
}

class Parser {
public:
    Parser(std::vector<Line> lines, int version) : lines_(std::move(lines)), version_(version) {}

    std::vector<Operation> run() {
        for (next_ = 1; next_ < lines_.size();) {
            const Line& line = lines_[next_++];
            std::string_view text = line.text;
            std::size_t p = 0;
            while (p < text.size() && isBlank(text[p])) ++p;
            if (p == text.size() || text[p] == ';') continue;
            if (text[p] == '[') {
                keyLine(line, text.substr(p));
            } else if (text[p] == '"' || text[p] == '@') {
                valueLine(line, text, p);
            } else {
                fail(line.number, "unrecognized line: expected [KEY], \"name\"=, @= or a ; comment");
            }
        }
        return std::move(ops_);
    }

private:
    void keyLine(const Line& line, std::string_view text) {
        const unsigned n = line.number;
        std::size_t p = 1;
        bool remove = false;
        if (p < text.size() && text[p] == '-') {
            remove = true;
            ++p;
        }
        if (p < text.size() && isBlank(text[p])) fail(n, "white space after '[' in a key line");
        const std::size_t close = text.rfind(']');
        if (close == std::string_view::npos || close < p) fail(n, "key line without a closing ']'");
        for (std::size_t q = close + 1; q < text.size(); ++q) {
            if (!isBlank(text[q])) fail(n, "text after the closing ']' of a key line");
        }
        KeyPath key = parseKeyPath(n, text.substr(p, close - p));
        if (remove && key.subKey.empty()) fail(n, "a root key cannot be deleted");
        Operation op;
        op.kind = remove ? Operation::Kind::deleteKey : Operation::Kind::openKey;
        op.line = n;
        op.key = key;
        ops_.push_back(op);
        current_ = remove ? std::nullopt : std::optional<KeyPath>(std::move(key));
        deletedKey_ = remove;
    }

    static KeyPath parseKeyPath(unsigned n, std::string_view path) {
        if (path.empty()) fail(n, "key line without a key name");
        const std::size_t slash = path.find('\\');
        const std::string_view word = path.substr(0, slash);
        if (word.empty()) fail(n, "key name without a root (it must start with HKEY_...)");
        KeyPath key;
        if (!rootFromName(word, false, key.root)) {
            fail(n, "unknown root \"" + std::string(word) +
                        "\" (expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS or "
                        "HKEY_CLASSES_ROOT)");
        }
        if (slash == std::string_view::npos) return key;
        std::string_view rest = path.substr(slash + 1);
        while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
        if (rest.empty()) return key;
        std::size_t start = 0;
        while (true) {
            const std::size_t end = rest.find('\\', start);
            const std::string_view level = rest.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
            if (level.empty()) fail(n, "empty key name between backslashes");
            if (characterCount(level) > kMaxKeyNameLength)
                fail(n, "key name longer than 255 characters");
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
        key.subKey = std::string(rest);
        return key;
    }

    void valueLine(const Line& line, std::string_view text, std::size_t p) {
        const unsigned n = line.number;
        if (!current_) {
            fail(n, deletedKey_ ? "value line below a key deletion ([-KEY])"
                                : "value line before the first key line");
        }
        Operation op;
        op.line = n;
        op.key = *current_;
        if (text[p] == '@') {
            ++p;
        } else {
            op.name = quoted(n, text, p);
            if (characterCount(op.name) > kMaxValueNameLength)
                fail(n, "value name longer than 16383 characters");
        }
        while (p < text.size() && isBlank(text[p])) ++p;
        if (p == text.size() || text[p] != '=') fail(n, "expected '=' after the value name");
        ++p;
        while (p < text.size() && isBlank(text[p])) ++p;
        const std::string_view rest = text.substr(p);
        if (rest.empty()) fail(n, "value without data after '='");
        if (rest[0] == '-') {
            op.kind = Operation::Kind::deleteValue;
            ++p;
            trailer(n, text, p);
        } else if (rest[0] == '"') {
            op.kind = Operation::Kind::setValue;
            op.type = vrk::reg::kRegSz;
            op.data = quoted(n, text, p);
            trailer(n, text, p);
        } else if (rest.substr(0, 6) == "dword:") {
            op.kind = Operation::Kind::setValue;
            op.type = vrk::reg::kRegDword;
            p += 6;
            std::uint32_t v = 0;
            std::size_t digits = 0;
            while (p < text.size() && hexDigit(text[p]) >= 0) {
                if (++digits > 8) fail(n, "dword value with more than 8 hex digits");
                v = (v << 4) | static_cast<std::uint32_t>(hexDigit(text[p]));
                ++p;
            }
            if (digits == 0) fail(n, "dword value needs 1 to 8 hex digits (no 0x prefix)");
            if (p < text.size() && !isBlank(text[p]) && text[p] != ';') {
                fail(n, "dword value needs 1 to 8 hex digits (no 0x prefix)");
            }
            trailer(n, text, p);
            for (int i = 0; i < 4; ++i) op.data.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        } else if (rest.substr(0, 3) == "hex") {
            op.kind = Operation::Kind::setValue;
            p += 3;
            op.type = vrk::reg::kRegBinary;
            if (p < text.size() && text[p] == '(') {
                ++p;
                std::uint32_t t = 0;
                std::size_t digits = 0;
                while (p < text.size() && hexDigit(text[p]) >= 0) {
                    if (++digits > 8) fail(n, "hex(N): type number with more than 8 hex digits");
                    t = (t << 4) | static_cast<std::uint32_t>(hexDigit(text[p]));
                    ++p;
                }
                if (digits == 0 || p >= text.size() || text[p] != ')')
                    fail(n, "malformed hex(N): type, expected hex digits and ')'");
                ++p;
                op.type = t;
            }
            if (p >= text.size() || text[p] != ':') fail(n, "expected ':' after hex or hex(N)");
            ++p;
            op.data = hexBytes(line, text, p);
            if (version_ == 5 && (op.type == vrk::reg::kRegSz || op.type == vrk::reg::kRegExpandSz ||
                                  op.type == vrk::reg::kRegMultiSz)) {
                std::string narrowed;
                std::string why;
                if (!utf16leToStoreBytes(op.data, narrowed, &why))
                    fail(n, "string data in hex(" + hexType(op.type) + "): " + why);
                op.data = std::move(narrowed);
            }
            // A REG_SZ is kept without its terminating zero, as a quoted
            // string is: hex(1) data that ends in one drops it.
            if (op.type == vrk::reg::kRegSz && !op.data.empty() && op.data.back() == '\0') op.data.pop_back();
        } else {
            fail(n, "unrecognized value data: expected \"string\", dword:, hex: or hex(N):");
        }
        ops_.push_back(std::move(op));
    }

    static std::string hexType(std::uint32_t t) {
        static const char digits[] = "0123456789abcdef";
        std::string s;
        do {
            s.insert(s.begin(), digits[t & 0xF]);
            t >>= 4;
        } while (t != 0);
        return s;
    }

    // A quoted text starting at text[p] == '"'; leaves p after the closing quote.
    static std::string quoted(unsigned n, std::string_view text, std::size_t& p) {
        std::string out;
        ++p;
        while (true) {
            if (p >= text.size()) fail(n, "unterminated string (missing closing '\"')");
            const char c = text[p++];
            if (c == '"') return out;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (p >= text.size()) fail(n, "unterminated string (missing closing '\"')");
            const char e = text[p++];
            switch (e) {
                case '\\': out.push_back('\\'); break;
                case '"': out.push_back('"'); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                default:
                    fail(n, std::string("unknown escape sequence \\") + e +
                                " in a string (only \\\\, \\\", \\n and \\r)");
            }
        }
    }

    // After data: blanks, then nothing or a ; comment.
    static void trailer(unsigned n, std::string_view text, std::size_t p) {
        while (p < text.size() && isBlank(text[p])) ++p;
        if (p < text.size() && text[p] != ';') fail(n, "unexpected text after the value data");
    }

    // Comma-separated two-digit hex bytes from text[p], following ",\" onto
    // the next lines (comment lines in between are skipped).
    std::string hexBytes(const Line& first, std::string_view text, std::size_t p) {
        std::string out;
        unsigned n = first.number;
        bool needByte = false;  // after a comma
        while (true) {
            while (p < text.size() && isBlank(text[p])) ++p;
            if (p < text.size() && text[p] == '\\' && (needByte || out.empty())) {
                ++p;
                while (p < text.size() && isBlank(text[p])) ++p;
                if (p < text.size()) fail(n, "text after the continuation '\\'");
                // The data goes on at the next line that is not a comment.
                const unsigned continuedAt = n;
                while (true) {
                    if (next_ >= lines_.size())
                        fail(continuedAt, "hex data continued with '\\' past the end of the file");
                    const Line& cont = lines_[next_++];
                    n = cont.number;
                    text = cont.text;
                    p = 0;
                    while (p < text.size() && isBlank(text[p])) ++p;
                    if (p < text.size() && text[p] == ';') continue;
                    break;
                }
                continue;
            }
            if (p >= text.size() || text[p] == ';') {
                if (needByte) fail(n, "hex data ends with ',' (expected another byte or '\\')");
                return out;
            }
            const int hi = hexDigit(text[p]);
            const int lo = p + 1 < text.size() ? hexDigit(text[p + 1]) : -1;
            const bool third = p + 2 < text.size() && hexDigit(text[p + 2]) >= 0;
            if (hi < 0) fail(n, "expected a hex byte (two hex digits)");
            if (lo < 0 || third) fail(n, "hex bytes must have exactly two hex digits");
            if (!needByte && !out.empty()) fail(n, "expected ',' between hex bytes");
            out.push_back(static_cast<char>(hi * 16 + lo));
            p += 2;
            while (p < text.size() && isBlank(text[p])) ++p;
            if (p < text.size() && text[p] == ',') {
                ++p;
                needByte = true;
            } else if (p < text.size() && text[p] != ';') {
                fail(n, "unexpected text after the hex data");
            } else {
                return out;
            }
        }
    }

    std::vector<Line> lines_;
    int version_;
    std::size_t next_ = 1;
    std::vector<Operation> ops_;
    std::optional<KeyPath> current_;
    bool deletedKey_ = false;
};

}  // namespace

ParseResult parseRegFile(std::string_view fileBytes) {
    ParseResult result;
    try {
        std::vector<Line> lines;
        if (fileBytes.size() >= 2 && static_cast<unsigned char>(fileBytes[0]) == 0xFF &&
            static_cast<unsigned char>(fileBytes[1]) == 0xFE) {
            result.utf16 = true;
            lines = splitUtf16(fileBytes.substr(2));
        } else {
            lines = splitBytes(fileBytes);
        }
        if (lines.empty()) fail(1, "empty file: expected \"REGEDIT4\" or \"" + std::string(kHeader5) + "\"");
        std::string_view header = lines[0].text;
        while (!header.empty() && isBlank(header.front())) header.remove_prefix(1);
        if (header == kHeader4) {
            result.version = 4;
        } else if (header == kHeader5) {
            result.version = 5;
        } else {
            fail(1, "bad header: expected \"REGEDIT4\" or \"" + std::string(kHeader5) +
                        "\" on the first line");
        }
        result.operations = Parser(std::move(lines), result.version).run();
        result.ok = true;
    } catch (const ParseError& e) {
        result.ok = false;
        result.operations.clear();
        result.errorLine = e.line;
        result.error = e.reason;
    }
    return result;
}

}  // namespace vrk::regfile
