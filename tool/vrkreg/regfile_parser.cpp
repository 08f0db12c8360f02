#include "tool/vrkreg/regfile_parser.hpp"

#include <cstdint>
#include <cstring>
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

// A fault of the file as a whole (its encoding, a line past the limits):
// never skipped, since the lines after it cannot be told apart.
struct InputError : ParseError {};

[[noreturn]] void failInput(unsigned line, std::string reason) {
    throw InputError{{line, std::move(reason)}};
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A line whose first character after blanks is one of these is a comment.
bool isCommentStart(char c) { return c == ';' || c == '#'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a file into lines, a piece at a time: CRLF, LF or CR end a line,
// in 8-bit text and in UTF-16LE text (after its byte-order mark) alike.
// Each line comes as store bytes. Holds no more than one line and a buffer.
class LineReader {
public:
    explicit LineReader(ByteSource& source) : source_(source) {
        fill(2);
        utf16_ = end_ >= 2 && static_cast<unsigned char>(buffer_[0]) == 0xFF &&
                 static_cast<unsigned char>(buffer_[1]) == 0xFE;
        if (utf16_) pos_ = 2;
    }

    bool utf16() const { return utf16_; }
    // The number of the line read last (the next one before the first read).
    unsigned number() const { return number_ == 0 ? 1 : number_; }

    // The next line, or false at the end of the file.
    bool next(Line& line) { return utf16_ ? nextUtf16(line) : nextBytes(line); }

private:
    // Makes at least want bytes available from pos_ unless the file ends first.
    void fill(std::size_t want) {
        if (end_ - pos_ >= want || ended_) return;
        std::memmove(buffer_, buffer_ + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
        while (end_ < want && !ended_) {
            const std::size_t n = source_.read(buffer_ + end_, sizeof buffer_ - end_);
            if (n == 0) ended_ = true;
            end_ += n;
        }
    }

    void tooLong() const {
        failInput(number_, "line longer than " + std::to_string(kMaxLineLength) + " characters");
    }

    bool nextBytes(Line& line) {
        fill(1);
        if (pos_ == end_) return false;
        line.number = ++number_;
        line.text.clear();
        while (true) {
            fill(1);
            if (pos_ == end_) return true;
            std::size_t stop = pos_;
            while (stop < end_ && buffer_[stop] != '\r' && buffer_[stop] != '\n' &&
                   buffer_[stop] != '\0')
                ++stop;
            if (line.text.size() + (stop - pos_) > kMaxLineLength) tooLong();
            line.text.append(buffer_ + pos_, stop - pos_);
            pos_ = stop;
            if (pos_ == end_) continue;
            const char c = buffer_[pos_++];
            if (c == '\0') failInput(number_, "NUL character in the line");
            if (c == '\r') {
                fill(1);
                if (pos_ < end_ && buffer_[pos_] == '\n') ++pos_;
            }
            return true;
        }
    }

    unsigned unitAt(std::size_t at) const {
        return static_cast<unsigned char>(buffer_[at]) |
               (static_cast<unsigned>(static_cast<unsigned char>(buffer_[at + 1])) << 8);
    }

    bool nextUtf16(Line& line) {
        fill(2);
        if (pos_ == end_) return false;
        line.number = ++number_;
        raw_.clear();
        while (true) {
            fill(2);
            if (end_ - pos_ < 2) {
                if (pos_ != end_)
                    failInput(number_, "the UTF-16 file ends in the middle of a character");
                break;
            }
            std::size_t stop = pos_;
            while (end_ - stop >= 2 && unitAt(stop) != '\r' && unitAt(stop) != '\n') stop += 2;
            if ((raw_.size() + (stop - pos_)) / 2 > kMaxLineLength) tooLong();
            raw_.append(buffer_ + pos_, stop - pos_);
            pos_ = stop;
            if (end_ - pos_ < 2) continue;
            const unsigned u = unitAt(pos_);
            pos_ += 2;
            if (u == '\r') {
                fill(2);
                if (end_ - pos_ >= 2 && unitAt(pos_) == '\n') pos_ += 2;
            }
            break;
        }
        std::string why;
        if (!utf16leToStoreBytes(raw_, line.text, &why)) failInput(number_, why);
        if (line.text.find('\0') != std::string::npos)
            failInput(number_, "NUL character in the line");
        return true;
    }

    ByteSource& source_;
    char buffer_[65536];
    std::size_t pos_ = 0, end_ = 0;
    bool ended_ = false;
    bool utf16_ = false;
    unsigned number_ = 0;
    std::string raw_;  // the UTF-16 bytes of the line being read
};

// A key path of a key line: a root's long name and the levels below it.
KeyPath parseKeyPath(unsigned n, std::string_view path) {
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
    std::size_t depth = 0;
    while (true) {
        if (++depth > static_cast<std::size_t>(vrk::reg::kMaxKeyDepth))
            fail(n, "key more than " + std::to_string(vrk::reg::kMaxKeyDepth) +
                        " levels below its root");
        const std::size_t end = rest.find('\\', start);
        const std::string_view level = rest.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (level.empty()) fail(n, "empty key name between backslashes");
        if (characterCount(level) > kMaxKeyNameLength)
            fail(n, "key name longer than 255 characters");
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    key.subKey = std::string(rest);
    return key;
}

// The Windows 3.1 format, after its "REGEDIT" header: each line
// "HKEY_CLASSES_ROOT\key = text" sets the key's default value to the text
// (the "=" and one blank after it may be left out). Lines that do not start
// with HKEY_CLASSES_ROOT, in that letter case, are not read, as with
// Windows' reg.
void readWin31Lines(LineReader& lines, const OperationSink& emit, const SkipSink* onSkipped) {
    static constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";
    Line line;
    while (lines.next(line)) {
        const std::string_view text = line.text;
        if (text.substr(0, kRoot.size()) != kRoot) continue;
        try {
            std::size_t keyEnd = 0;
            while (keyEnd < text.size() && !isBlank(text[keyEnd])) ++keyEnd;
            std::size_t p = keyEnd;
            while (p < text.size() && isBlank(text[p])) ++p;
            if (p < text.size() && text[p] == '=') ++p;
            if (p < text.size() && text[p] == ' ') ++p;
            Operation open;
            open.kind = Operation::Kind::openKey;
            open.line = line.number;
            open.key = parseKeyPath(line.number, text.substr(0, keyEnd));
            Operation set;
            set.kind = Operation::Kind::setValue;
            set.line = line.number;
            set.key = open.key;
            set.type = vrk::reg::kRegSz;
            set.data = std::string(text.substr(p)) + std::string(1, '\0');
            emit(std::move(open));
            emit(std::move(set));
        } catch (const InputError&) {
            throw;
        } catch (const ParseError& e) {
            if (onSkipped == nullptr) throw;
            (*onSkipped)(e.line, e.reason);
        }
    }
}

class Parser {
public:
    Parser(LineReader& lines, int version, const OperationSink& emit, const SkipSink* onSkipped)
        : lines_(lines), version_(version), emit_(emit), onSkipped_(onSkipped) {}

    void run() {
        while (lines_.next(line_)) {
            try {
                parseLine(line_);
            } catch (const InputError&) {
                throw;
            } catch (const ParseError& e) {
                if (onSkipped_ == nullptr) throw;
                (*onSkipped_)(e.line, e.reason);
            }
        }
    }

private:
    void parseLine(const Line& line) {
        std::string_view text = line.text;
        std::size_t p = 0;
        while (p < text.size() && isBlank(text[p])) ++p;
        if (p == text.size() || isCommentStart(text[p])) return;
        if (text[p] == '[') {
            keyLine(line, text.substr(p));
        } else if (text[p] == '"' || text[p] == '@') {
            valueLine(line, text, p);
        } else {
            fail(line.number, "unrecognized line: expected [KEY], \"name\"=, @= or a ; comment");
        }
    }

    void keyLine(const Line& line, std::string_view text) {
        const unsigned n = line.number;
        // Until the line is read whole, later value lines have no key.
        current_.reset();
        deletedKey_ = false;
        skippedKey_ = true;
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
        current_ = remove ? std::nullopt : std::optional<KeyPath>(key);
        deletedKey_ = remove;
        skippedKey_ = false;
        emit_(std::move(op));
    }

    void valueLine(const Line& line, std::string_view text, std::size_t p) {
        const unsigned n = line.number;
        if (!current_) {
            fail(n, deletedKey_   ? "value line below a key deletion ([-KEY])"
                    : skippedKey_ ? "value line below a key line that was skipped"
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
            // Stored with its terminating zero, as Windows' reg stores it.
            op.data = quoted(n, text, p) + std::string(1, '\0');
            trailer(n, text, p);
        } else if (rest.substr(0, 6) == "dword:") {
            op.kind = Operation::Kind::setValue;
            op.type = vrk::reg::kRegDword;
            p += 6;
            while (p < text.size() && isBlank(text[p])) ++p;
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
            if (version_ == 5 && vrk::reg::isTextValueType(op.type)) {
                std::string narrowed;
                std::string why;
                if (!utf16leToStoreBytes(op.data, narrowed, &why))
                    fail(n, "string data in hex(" + hexType(op.type) + "): " + why);
                op.data = std::move(narrowed);
            }
            // Text data that does not end in a zero gets its terminating
            // zero, as Windows' reg adds it.
            if (vrk::reg::isTextValueType(op.type) && !op.data.empty() && op.data.back() != '\0')
                op.data.push_back('\0');
        } else {
            fail(n, "unrecognized value data: expected \"string\", dword:, hex: or hex(N):");
        }
        emit_(std::move(op));
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
        bool needByte = false;      // after a comma
        bool continuation = false;  // on a continuation line, before its first byte
        while (true) {
            while (p < text.size() && isBlank(text[p])) ++p;
            if (p < text.size() && text[p] == '\\' && continuation)
                fail(n, "a continuation line without hex bytes before its '\\'");
            if (p < text.size() && text[p] == '\\' && (needByte || out.empty())) {
                ++p;
                while (p < text.size() && isBlank(text[p])) ++p;
                if (p < text.size() && text[p] != ';') fail(n, "text after the continuation '\\'");
                // The data goes on at the next line that is neither blank nor
                // a ; comment; the end of the file ends it. A # line breaks
                // the data off, as with Windows' reg.
                while (true) {
                    if (!lines_.next(continued_)) return out;
                    const Line& cont = continued_;
                    n = cont.number;
                    text = cont.text;
                    p = 0;
                    while (p < text.size() && isBlank(text[p])) ++p;
                    if (p < text.size() && text[p] == '#')
                        fail(n, "a '#' comment line inside hex data continued with '\\'");
                    if (p == text.size() || text[p] == ';') continue;
                    break;
                }
                continuation = true;
                continue;
            }
            continuation = false;
            // A ',' at the end of the line (or before its comment) ends the
            // data, as with Windows' reg: "01,02," holds two bytes.
            if (p >= text.size() || text[p] == ';') return out;
            const int hi = hexDigit(text[p]);
            const int lo = p + 1 < text.size() ? hexDigit(text[p + 1]) : -1;
            const bool third = p + 2 < text.size() && hexDigit(text[p + 2]) >= 0;
            if (hi < 0) fail(n, "expected a hex byte (two hex digits)");
            if (lo < 0 || third) fail(n, "hex bytes must have exactly two hex digits");
            if (!needByte && !out.empty()) fail(n, "expected ',' between hex bytes");
            if (out.size() >= kMaxValueSize)
                fail(n, "value data longer than " + std::to_string(kMaxValueSize) + " bytes");
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

    LineReader& lines_;
    int version_;
    const OperationSink& emit_;
    Line line_;       // the line being parsed
    Line continued_;  // the line its hex data continues on
    const SkipSink* onSkipped_;
    std::optional<KeyPath> current_;
    bool deletedKey_ = false;
    bool skippedKey_ = false;
};

}  // namespace

ParseResult parseRegStream(ByteSource& source, const OperationSink& onOperation,
                           const SkipSink* onSkipped) {
    ParseResult result;
    try {
        LineReader lines(source);
        result.utf16 = lines.utf16();
        Line first;
        if (!lines.next(first))
            fail(1, "empty file: expected \"REGEDIT4\" or \"" + std::string(kHeader5) + "\"");
        std::string_view header = first.text;
        while (!header.empty() && isBlank(header.front())) header.remove_prefix(1);
        if (header == kHeader4) {
            result.version = 4;
        } else if (header == kHeader5) {
            result.version = 5;
        } else if (onSkipped != nullptr && header.substr(0, 7) == "REGEDIT" &&
                   header != "REGEDIT") {
            // Windows' reg takes a header such as "REGEDIT 4" or "REGEDIT4 FOO"
            // as valid and then imports nothing of the file.
            (*onSkipped)(1, "unknown header \"" + std::string(header) +
                                "\": nothing of the file is applied");
            result.version = 4;
            result.ok = true;
            return result;
        } else if (header == "REGEDIT") {
            result.version = 3;
            readWin31Lines(lines, onOperation, onSkipped);
            result.ok = true;
            return result;
        } else {
            fail(1, "bad header: expected \"REGEDIT4\" or \"" + std::string(kHeader5) +
                        "\" on the first line");
        }
        Parser(lines, result.version, onOperation, onSkipped).run();
        result.ok = true;
    } catch (const ParseError& e) {
        result.ok = false;
        result.errorLine = e.line;
        result.error = e.reason;
    }
    return result;
}

ParseResult parseRegFile(std::string_view fileBytes) {
    MemorySource source(fileBytes);
    std::vector<Operation> operations;
    ParseResult result =
        parseRegStream(source, [&](Operation&& op) { operations.push_back(std::move(op)); });
    if (result.ok) result.operations = std::move(operations);
    return result;
}

}  // namespace vrk::regfile
