// Reading .reg files: headers, encodings, line ends, key and value lines,
// and the errors for malformed files.
#include "tool/vrkreg/regfile_parser.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tool/vrkreg/regfile_text.hpp"

namespace vrk::regfile {
namespace {

using vrk::reg::kCurrentUser;
using vrk::reg::kLocalMachine;
using Kind = Operation::Kind;

std::string utf16File(const std::string& text) { return "\xFF\xFE" + storeBytesToUtf16le(text); }

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

Operation openKey(unsigned line, vrk::reg::Key root, std::string sub) {
    Operation op;
    op.kind = Kind::openKey;
    op.line = line;
    op.key = {root, std::move(sub)};
    return op;
}

Operation setValue(unsigned line, vrk::reg::Key root, std::string sub, std::string name,
                   std::uint32_t type, std::string data) {
    Operation op;
    op.kind = Kind::setValue;
    op.line = line;
    op.key = {root, std::move(sub)};
    op.name = std::move(name);
    op.type = type;
    op.data = std::move(data);
    return op;
}

const char* const kSample =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; a comment line\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Example]\r\n"
    "@=\"default value\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Path\" = \"C:\\\\Dir \\\"quoted\\\"\"   ; trailing comment\r\n"
    "\"Bin\"=hex:00,01,ff,\\\r\n"
    "  10,20\r\n"
    "\"Empty\"=hex:\r\n"
    "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"Gone\"=-\r\n"
    "\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
    "\r\n"
    "[hkey_current_user\\Software\\New\\]\r\n"
    "\r\n";

TEST(RegfileParser, ReadsEveryKindOfLine) {
    const ParseResult r = parseRegFile(utf16File(kSample));
    ASSERT_TRUE(r.ok) << r.errorLine << ": " << r.error;
    EXPECT_EQ(r.version, 5);
    EXPECT_TRUE(r.utf16);
    const std::string ex = "Software\\Example";
    Operation gone;
    gone.kind = Kind::deleteValue;
    gone.line = 14;
    gone.key = {kLocalMachine, ex};
    gone.name = "Gone";
    Operation old;
    old.kind = Kind::deleteKey;
    old.line = 16;
    old.key = {kCurrentUser, "Software\\Old"};
    const std::vector<Operation> expected = {
        openKey(4, kLocalMachine, ex),
        setValue(5, kLocalMachine, ex, "", vrk::reg::kRegSz, std::string("default value\0", 14)),
        setValue(6, kLocalMachine, ex, "Count", vrk::reg::kRegDword, bytes({0x2a, 0, 0, 0})),
        setValue(7, kLocalMachine, ex, "Path", vrk::reg::kRegSz,
                 std::string("C:\\Dir \"quoted\"\0", 16)),
        setValue(8, kLocalMachine, ex, "Bin", vrk::reg::kRegBinary,
                 bytes({0, 1, 0xff, 0x10, 0x20})),
        setValue(10, kLocalMachine, ex, "Empty", vrk::reg::kRegBinary, ""),
        setValue(11, kLocalMachine, ex, "Exp", vrk::reg::kRegExpandSz, std::string("%A%\0", 4)),
        setValue(12, kLocalMachine, ex, "Multi", vrk::reg::kRegMultiSz, std::string("a\0b\0\0", 5)),
        setValue(13, kLocalMachine, ex, "Q", vrk::reg::kRegQword, bytes({1, 0, 0, 0, 0, 0, 0, 0})),
        gone,
        old,
        openKey(18, kCurrentUser, "Software\\New"),
    };
    ASSERT_EQ(r.operations.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(r.operations[i], expected[i]) << "operation " << i;
}

TEST(RegfileParser, LineEndsAndEncodingsGiveTheSameChanges) {
    std::string lf, cr;
    for (const char* p = kSample; *p; ++p) {
        if (*p == '\r') continue;
        lf += *p;
    }
    for (char c : lf) cr += c == '\n' ? '\r' : c;
    const ParseResult base = parseRegFile(utf16File(kSample));
    ASSERT_TRUE(base.ok);
    for (const std::string& variant :
         {std::string(kSample), lf, cr, utf16File(lf), utf16File(cr)}) {
        const ParseResult r = parseRegFile(variant);
        ASSERT_TRUE(r.ok) << r.errorLine << ": " << r.error;
        EXPECT_EQ(r.operations, base.operations);
    }
}

TEST(RegfileParser, TextOfUtf16FilesBecomesUtf8AndEightBitTextStaysAsItIs) {
    // "Caf\u00e9" as the key, the value name and the string.
    const std::string text =
        "Windows Registry Editor Version "
        "5.00\r\n[HKEY_USERS\\Caf\xC3\xA9]\r\n\"n\xC3\xA9\"=\"\xC3\xA9t\xC3\xA9\"\r\n";
    const ParseResult wide = parseRegFile(utf16File(text));
    ASSERT_TRUE(wide.ok) << wide.error;
    ASSERT_EQ(wide.operations.size(), 2u);
    EXPECT_EQ(wide.operations[0].key.subKey, "Caf\xC3\xA9");
    EXPECT_EQ(wide.operations[1].name, "n\xC3\xA9");
    EXPECT_EQ(wide.operations[1].data, std::string("\xC3\xA9t\xC3\xA9\0", 6));

    // A Latin-1 file: the bytes are kept, not reinterpreted.
    const ParseResult narrow = parseRegFile("REGEDIT4\n[HKEY_USERS\\Caf\xE9]\n\"n\"=\"\xE9\"\n");
    ASSERT_TRUE(narrow.ok) << narrow.error;
    EXPECT_EQ(narrow.version, 4);
    EXPECT_FALSE(narrow.utf16);
    EXPECT_EQ(narrow.operations[0].key.subKey, "Caf\xE9");
    EXPECT_EQ(narrow.operations[1].data, std::string("\xE9\0", 2));
}

TEST(RegfileParser, StringTypesInHexAreUtf16OnlyInVersion5Files) {
    static const struct {
        const char* header;
        const char* line;
        std::uint32_t type;
        std::string data;
    } cases[] = {
        {"Windows Registry Editor Version 5.00", "@=hex(2):41,00,e9,00,00,00",
         vrk::reg::kRegExpandSz, std::string("A\xC3\xA9\0", 4)},
        // Text data keeps its zeros and gets a terminating zero when it
        // does not end in one; empty data stays empty.
        {"Windows Registry Editor Version 5.00", "@=hex(1):61,00,00,00,62,00", vrk::reg::kRegSz,
         std::string("a\0b\0", 4)},
        {"Windows Registry Editor Version 5.00", "@=hex(1):41,00,42,00,00,00", vrk::reg::kRegSz,
         std::string("AB\0", 3)},
        {"Windows Registry Editor Version 5.00", "@=hex(1):41,00,42,00", vrk::reg::kRegSz,
         std::string("AB\0", 3)},
        {"Windows Registry Editor Version 5.00", "@=hex(1):41,00,00,00,00,00", vrk::reg::kRegSz,
         std::string("A\0\0", 3)},
        {"Windows Registry Editor Version 5.00", "@=hex(1):00,00", vrk::reg::kRegSz,
         std::string(1, '\0')},
        {"Windows Registry Editor Version 5.00", "@=hex(1):", vrk::reg::kRegSz, ""},
        {"REGEDIT4", "@=hex(1):41,42,00", vrk::reg::kRegSz, std::string("AB\0", 3)},
        {"Windows Registry Editor Version 5.00", "@=hex(7):4c,00,69,00,6e,00,65,00",
         vrk::reg::kRegMultiSz, std::string("Line\0", 5)},
        {"Windows Registry Editor Version 5.00", "@=hex(7):4c,00,00,00,00,00",
         vrk::reg::kRegMultiSz, std::string("L\0\0", 3)},
        {"Windows Registry Editor Version 5.00", "@=hex(2):25,00,50,00,25,00",
         vrk::reg::kRegExpandSz, std::string("%P%\0", 4)},
        {"Windows Registry Editor Version 5.00", "@=hex(2):", vrk::reg::kRegExpandSz, ""},
        {"REGEDIT4", "@=hex(2):41", vrk::reg::kRegExpandSz, std::string("A\0", 2)},
        {"Windows Registry Editor Version 5.00", "@=hex(3):41,00", vrk::reg::kRegBinary,
         std::string("A\0", 2)},
        {"REGEDIT4", "@=hex(2):41,e9,00", vrk::reg::kRegExpandSz, std::string("A\xE9\0", 3)},
        {"REGEDIT4", "@=hex(7):61,00,00", vrk::reg::kRegMultiSz, std::string("a\0\0", 3)},
        {"REGEDIT4", "@=hex(0):", vrk::reg::kRegNone, ""},
        {"REGEDIT4", "@=hex(4):01,02", vrk::reg::kRegDword, "\x01\x02"},
        {"REGEDIT4", "@=hex(100):ff", 0x100u, "\xff"},
        {"REGEDIT4", "@=dword:FFFFFFFF", vrk::reg::kRegDword, "\xff\xff\xff\xff"},
        {"REGEDIT4", "@=dword:7", vrk::reg::kRegDword, std::string("\x07\0\0\0", 4)},
        {"REGEDIT4", "@=hex:  0a , 0B ,ff ; spaces around bytes", vrk::reg::kRegBinary,
         "\x0a\x0b\xff"},
        // A quoted string is stored with its terminating zero.
        {"REGEDIT4", "@=\"line\\nbreak\\r\"", vrk::reg::kRegSz, std::string("line\nbreak\r\0", 12)},
        {"REGEDIT4", "@=\"\"", vrk::reg::kRegSz, std::string(1, '\0')},
        {"REGEDIT4", "@=\"a=b;c\"", vrk::reg::kRegSz, std::string("a=b;c\0", 6)},
    };
    for (const auto& c : cases) {
        const std::string file =
            std::string(c.header) + "\n[HKEY_LOCAL_MACHINE\\K]\n" + c.line + "\n";
        const ParseResult r = parseRegFile(file);
        ASSERT_TRUE(r.ok) << c.line << ": " << r.error;
        ASSERT_EQ(r.operations.size(), 2u);
        EXPECT_EQ(r.operations[1].type, c.type) << c.line;
        EXPECT_EQ(r.operations[1].data, c.data) << c.line;
    }
}

TEST(RegfileParser, KeyLines) {
    static const struct {
        const char* line;
        vrk::reg::Key root;
        const char* subKey;
        Kind kind;
    } cases[] = {
        {"[HKEY_LOCAL_MACHINE]", kLocalMachine, "", Kind::openKey},
        {"[HKEY_LOCAL_MACHINE\\]", kLocalMachine, "", Kind::openKey},
        {"[hkey_classes_root\\.txt]", vrk::reg::kClassesRoot, ".txt", Kind::openKey},
        {"[HKEY_USERS\\a]b]", vrk::reg::kUsers, "a]b",
         Kind::openKey},  // the name ends at the last ]
        {"[HKEY_USERS\\a[1]]  ", vrk::reg::kUsers, "a[1]",
         Kind::openKey},  // blanks after ] are fine
        {"  [HKEY_USERS\\ x ]", vrk::reg::kUsers, " x ", Kind::openKey},
        {"[-HKEY_CURRENT_USER\\a\\b]", kCurrentUser, "a\\b", Kind::deleteKey},
        {"[HKEY_CURRENT_USER\\a\\b\\\\]", kCurrentUser, "a\\b", Kind::openKey},
    };
    for (const auto& c : cases) {
        const ParseResult r = parseRegFile(std::string("REGEDIT4\n") + c.line + "\n");
        ASSERT_TRUE(r.ok) << c.line << ": " << r.error;
        ASSERT_EQ(r.operations.size(), 1u) << c.line;
        EXPECT_EQ(r.operations[0].key.root, c.root) << c.line;
        EXPECT_EQ(r.operations[0].key.subKey, c.subKey) << c.line;
        EXPECT_EQ(r.operations[0].kind, c.kind) << c.line;
    }
}

TEST(RegfileParser, HexContinuationSkipsCommentLinesAndAcceptsALeadingBreak) {
    const ParseResult r = parseRegFile(
        "REGEDIT4\n[HKEY_USERS\\K]\n"
        "\"a\"=hex:\\\n"
        "  01,02,\\   \n"
        "; a comment inside the data\n"
        "  03 ; and one after it\n"
        "\"b\"=hex:04\n");
    ASSERT_TRUE(r.ok) << r.errorLine << ": " << r.error;
    ASSERT_EQ(r.operations.size(), 3u);
    EXPECT_EQ(r.operations[1].data, "\x01\x02\x03");
    EXPECT_EQ(r.operations[1].line, 3u);
    EXPECT_EQ(r.operations[2].data, "\x04");
    EXPECT_EQ(r.operations[2].line, 7u);
}

// Windows' reg ends hex data at a ',' that closes a line or stands before
// the line's comment, and keeps the bytes before it; a line after it is
// then a line of its own.
TEST(RegfileParser, ATrailingCommaEndsTheHexData) {
    static const struct {
        const char* lines;
        const char* data;
    } cases[] = {
        {"\"a\"=hex:11,22,\n", "\x11\x22"},
        {"\"a\"=hex:11,22,   \n", "\x11\x22"},
        {"\"a\"=hex:11,22,;comment\n", "\x11\x22"},
        {"\"a\"=hex:11,22, ;comment\n", "\x11\x22"},
        {"\"a\"=hex:11,\\;comment\n  22,33,\n", "\x11\x22\x33"},
        {"\"a\"=hex:11,\\\n  22,33,;comment\n", "\x11\x22\x33"},
    };
    for (const auto& c : cases) {
        const ParseResult r =
            parseRegFile(std::string("REGEDIT4\n[HKEY_USERS\\K]\n") + c.lines + "\"b\"=hex:44\n");
        ASSERT_TRUE(r.ok) << c.lines << " " << r.errorLine << ": " << r.error;
        ASSERT_EQ(r.operations.size(), 3u) << c.lines;
        EXPECT_EQ(r.operations[1].data, c.data) << c.lines;
        EXPECT_EQ(r.operations[2].data, "\x44") << c.lines;
    }
    // The line after such an end is not more data.
    const ParseResult r = parseRegFile("REGEDIT4\n[HKEY_USERS\\K]\n\"a\"=hex:11,\n  22\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorLine, 4u);
}

TEST(RegfileParser, NamesAtTheRegistryLimitsAreAccepted) {
    const std::string key255(255, 'k');
    const std::string name16383(16383, 'v');
    const std::string wide255 = [] {
        std::string s;
        for (int i = 0; i < 255; ++i) s += "\xC3\xA9";
        return s;
    }();
    const ParseResult r = parseRegFile(utf16File("REGEDIT4\n[HKEY_USERS\\" + key255 + "\\" +
                                                 wide255 + "]\n\"" + name16383 + "\"=\"x\"\n"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.operations[1].name.size(), 16383u);
}

TEST(RegfileParser, KeysDeeperThanTheRegistryAllowsAreRefused) {
    std::string levels;
    for (int i = 0; i < vrk::reg::kMaxKeyDepth; ++i) levels += "\\k";
    const ParseResult deepest =
        parseRegFile("REGEDIT4\n[HKEY_USERS" + levels + "]\n[-HKEY_USERS" + levels + "]\n");
    EXPECT_TRUE(deepest.ok) << deepest.error;
    for (const char* form : {"[HKEY_USERS", "[-HKEY_USERS"}) {
        const ParseResult r =
            parseRegFile("REGEDIT4\n\n" + std::string(form) + levels + "\\one more]\n");
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.errorLine, 3u);
        EXPECT_EQ(r.error, "key more than 512 levels below its root");
    }
}

// Each malformed file: the line at fault and the words of the reason.
TEST(RegfileParser, MalformedFilesNameTheLineAndTheReason) {
    const std::string h = "Windows Registry Editor Version 5.00\n";
    const std::string k = h + "[HKEY_LOCAL_MACHINE\\K]\n";
    static const std::string long256(256, 'x');
    const struct {
        std::string file;
        unsigned line;
        const char* reason;
    } cases[] = {
        {"", 1, "empty file"},
        {"REGEDIT5\n", 1, "bad header"},
        {"REGEDIT\nHKEY_CLASSES_ROOTX\\a = b\n", 2, "unknown root \"HKEY_CLASSES_ROOTX\""},
        {"REGEDIT\nHKEY_CLASSES_ROOT\\a\\\\b = c\n", 2, "empty key name"},
        {"regedit4\n", 1, "bad header"},
        {"Windows Registry Editor Version 5.0\n", 1, "bad header"},
        {"\nREGEDIT4\n", 1, "bad header"},
        {"\xEF\xBB\xBFREGEDIT4\n", 1, "bad header"},
        {"REGEDIT4 extra\n", 1, "bad header"},
        {k + "\"a\"=\"unterminated\n", 3, "unterminated string"},
        {k + "\"a=\"x\"\n", 3, "expected '='"},
        {k + "\"a\"=\"x\\0\"\n", 3, "unknown escape sequence \\0"},
        {k + "\"a\"=\"x\" y\n", 3, "unexpected text after the value data"},
        {k + "\"a\"=dword:123456789\n", 3, "more than 8 hex digits"},
        {k + "\"a\"=dword:0x10\n", 3, "no 0x prefix"},
        {k + "\"a\"=dword:\n", 3, "1 to 8 hex digits"},
        {k + "\"a\"=dword:12g\n", 3, "1 to 8 hex digits"},
        {k + "\"a\"=dword:12 34\n", 3, "unexpected text after the value data"},
        {k + "\"a\"=DWORD:1\n", 3, "unrecognized value data"},
        {k + "\"a\"=hex:0\n", 3, "exactly two hex digits"},
        {k + "\"a\"=hex:012\n", 3, "exactly two hex digits"},
        {k + "\"a\"=hex:01,2,03\n", 3, "exactly two hex digits"},
        {k + "\"a\"=hex:01,zz\n", 3, "expected a hex byte"},
        {k + "\"a\"=hex:01 02\n", 3, "unexpected text after the hex data"},
        {k + "\"a\"=hex:01,\\ x\n  02\n", 3, "text after the continuation"},
        {k + "\"a\"=hex:11,22,33,\\\n\\\n  44,55,66\n", 4, "continuation line without hex bytes"},
        {k + "\"a\"=hex:11,\\\n  \\ 22\n", 4, "continuation line without hex bytes"},
        {k + "\"a\"=\"x\"#c\n", 3, "unexpected text after the value data"},
        {k + "\"a\"=hex:01,\\\n#c\n  02\n", 4, "'#' comment line inside hex data"},
        {k + "\"a\"=hex:01,\\\n  ;c\n  #c\n  02\n", 5, "'#' comment line inside hex data"},
        {k + "\"a\"=hex(2:00\n", 3, "malformed hex(N)"},
        {k + "\"a\"=hex(x):00\n", 3, "malformed hex(N)"},
        {k + "\"a\"=hex(2)00\n", 3, "expected ':'"},
        {k + "\"a\"=hex(2):41\n", 3, "odd number of bytes"},
        {k + "\"a\"=hex(7):00,d8\n", 3, "unpaired high surrogate"},
        {k + "\"a\"=\n", 3, "without data"},
        {k + "\"a\"=- x\n", 3, "unexpected text after the value data"},
        {k + "\"a\"=str\n", 3, "unrecognized value data"},
        {k + "a=\"b\"\n", 3, "unrecognized line"},
        {h + "\"a\"=\"b\"\n", 2, "before the first key line"},
        {h + "[-HKEY_USERS\\x]\n\"a\"=\"b\"\n", 3, "below a key deletion"},
        {h + "[\\Software]\n", 2, "without a root"},
        {h + "[Software\\x]\n", 2, "unknown root \"Software\""},
        {h + "[HKLM\\x]\n", 2, "unknown root \"HKLM\""},
        {h + "[HKEY_CURRENT_CONFIG\\x]\n", 2, "unknown root"},
        {h + "[]\n", 2, "without a key name"},
        {h + "[ HKEY_USERS\\x]\n", 2, "white space after '['"},
        {h + "[-\tHKEY_USERS\\x]\n", 2, "white space after '['"},
        {h + "[HKEY_USERS\\x\n", 2, "without a closing ']'"},
        {h + "[HKEY_USERS\\x] ; note\n", 2, "text after the closing ']'"},
        {h + "[HKEY_USERS\\a\\\\b]\n", 2, "empty key name"},
        {h + "[HKEY_USERS\\" + long256 + "]\n", 2, "longer than 255 characters"},
        {h + "[HKEY_USERS\\a\\" + long256 + "\\b]\n", 2, "longer than 255 characters"},
        {h + "[-HKEY_USERS]\n", 2, "root key cannot be deleted"},
        {k + "\"" + std::string(16384, 'v') + "\"=\"x\"\n", 3, "longer than 16383 characters"},
        {k + std::string("\"a\"=\"x\0y\"\n", 11), 3, "NUL character"},
        {h + "\n\n[HKEY_USERS\\x]\n@=hex:1\n", 5, "exactly two hex digits"},
    };
    for (const auto& c : cases) {
        for (const bool wide : {false, true}) {
            if (wide && c.file.compare(0, 3, "\xEF\xBB\xBF") == 0) continue;
            const ParseResult r = parseRegFile(wide ? utf16File(c.file) : c.file);
            EXPECT_FALSE(r.ok) << c.file;
            EXPECT_TRUE(r.operations.empty());
            EXPECT_EQ(r.errorLine, c.line) << c.file << "\n" << r.error;
            EXPECT_NE(r.error.find(c.reason), std::string::npos)
                << c.file << (wide ? " (UTF-16)" : "") << "\ngot: " << r.error
                << "\nexpected: " << c.reason;
        }
    }
}

TEST(RegfileParser, MalformedUtf16Files) {
    static const struct {
        std::string file;
        unsigned line;
        const char* reason;
    } cases[] = {
        // Odd byte count: the last character is cut off.
        {utf16File("REGEDIT4\r\n[HKEY_USERS\\x]\r\n") + "A", 3, "middle of a character"},
        // A lone high surrogate in a key name on line 2.
        {utf16File("REGEDIT4\r\n") + std::string("[\0H\0\x00\xD8]\0", 8), 2,
         "unpaired high surrogate"},
    };
    for (const auto& c : cases) {
        const ParseResult r = parseRegFile(c.file);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.errorLine, c.line) << r.error;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
    }
}

}  // namespace
}  // namespace vrk::regfile

namespace vrk::regfile {
namespace {

// The Windows 3.1 format: "HKEY_CLASSES_ROOT\key = text" sets the key's
// default value, as Windows' reg reads it; other lines are not read.
TEST(RegfileParser, ReadsTheWindows31Format) {
    static const struct {
        const char* line;
        const char* key;  // "" when the line is not read
        std::string data;
    } cases[] = {
        {"HKEY_CLASSES_ROOT\\K = Value0", "K", std::string("Value0\0", 7)},
        {"HKEY_CLASSES_ROOT\\K =Value1", "K", std::string("Value1\0", 7)},
        {"HKEY_CLASSES_ROOT\\K =  Value2", "K", std::string(" Value2\0", 8)},
        {"HKEY_CLASSES_ROOT\\K = Value3 ", "K", std::string("Value3 \0", 8)},
        {"HKEY_CLASSES_ROOT\\K Value4", "K", std::string("Value4\0", 7)},
        {"HKEY_CLASSES_ROOT\\K  Value5", "K", std::string("Value5\0", 7)},
        {"HKEY_CLASSES_ROOT\\K", "K", std::string(1, '\0')},
        {"HKEY_CLASSES_ROOT\\K  ", "K", std::string(1, '\0')},
        {"HKEY_CLASSES_ROOT\\a\\b\t= x = y", "a\\b", std::string("x = y\0", 6)},
        {" HKEY_CLASSES_ROOT\\K = Value1a", "", ""},
        {"\tHKEY_CLASSES_ROOT\\K = Value1c", "", ""},
        {";HKEY_CLASSES_ROOT\\K = Value2a", "", ""},
        {"#HKEY_CLASSES_ROOT\\K = Value2b", "", ""},
        {"hkey_classes_root\\K = Value3a", "", ""},
        {"Hkey_Classes_Root\\K = Value3c", "", ""},
        {"[HKEY_CLASSES_ROOT\\K]", "", ""},
    };
    for (const auto& c : cases) {
        for (const char* end : {"\r\n", ""}) {
            const std::string file = std::string("REGEDIT\r\n") + c.line + end;
            for (const bool wide : {false, true}) {
                const ParseResult r = parseRegFile(wide ? utf16File(file) : file);
                ASSERT_TRUE(r.ok) << c.line << ": " << r.error;
                EXPECT_EQ(r.version, 3);
                if (*c.key == '\0') {
                    EXPECT_TRUE(r.operations.empty()) << c.line;
                    continue;
                }
                ASSERT_EQ(r.operations.size(), 2u) << c.line;
                EXPECT_EQ(r.operations[0], openKey(2, vrk::reg::kClassesRoot, c.key)) << c.line;
                EXPECT_EQ(r.operations[1],
                          setValue(2, vrk::reg::kClassesRoot, c.key, "", vrk::reg::kRegSz, c.data))
                    << c.line;
            }
        }
    }
    const ParseResult empty = parseRegFile("REGEDIT");
    EXPECT_TRUE(empty.ok) << empty.error;
    EXPECT_TRUE(empty.operations.empty());
}

TEST(RegfileParser, HeaderMayBeIndentedAndAFileMayHoldNoKeys) {
    for (const char* file :
         {"  REGEDIT4", "\tWindows Registry Editor Version 5.00\r\n", "REGEDIT4\n\n; nothing\n"}) {
        const ParseResult r = parseRegFile(file);
        EXPECT_TRUE(r.ok) << file << ": " << r.error;
        EXPECT_TRUE(r.operations.empty());
    }
}

}  // namespace
}  // namespace vrk::regfile

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vrk::regfile {
namespace {

// The fuzzer's seeds are meant to be valid files, except the one named so.
TEST(RegfileParser, FuzzSeedsParseAsIntended) {
    unsigned seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VRKREG_FUZZ_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const ParseResult r = parseRegFile(bytes.str());
        const bool malformed =
            entry.path().filename().string().find("malformed") != std::string::npos;
        EXPECT_EQ(r.ok, !malformed) << entry.path() << ": " << r.errorLine << ": " << r.error;
        ++seen;
    }
    EXPECT_GT(seen, 0u);
}

// An endless input: a head, then one piece of text again and again. The
// reader must refuse it at its limits without holding the input.
class EndlessSource : public ByteSource {
public:
    EndlessSource(std::string head, std::string piece)
        : head_(std::move(head)), piece_(std::move(piece)) {}
    std::size_t read(char* buffer, std::size_t size) override {
        std::size_t n = 0;
        while (n < size) {
            const std::string& from = at_ < head_.size() ? head_ : piece_;
            const std::size_t offset =
                at_ < head_.size() ? at_ : (at_ - head_.size()) % piece_.size();
            const std::size_t take = std::min(size - n, from.size() - offset);
            std::memcpy(buffer + n, from.data() + offset, take);
            n += take;
            at_ += take;
        }
        return n;
    }

private:
    std::string head_, piece_;
    std::size_t at_ = 0;
};

TEST(RegfileParser, ALineOrAValueBeyondTheLimitsIsRefusedAtItsLine) {
    const std::string hexLine =
        "00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n";
    const struct {
        std::string head;
        std::string piece;
        bool wide;
        unsigned line;
        std::string error;
    } cases[] = {
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"", "x", false, 3,
         "line longer than 4194304 characters"},
        {"REGEDIT4\r\n", std::string("\0", 1), false, 2, "NUL character in the line"},
        {"Windows Registry Editor Version 5.00\r\n;", "x", true, 2,
         "line longer than 4194304 characters"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=hex:\\\r\n", hexLine, false,
         3 + (16u << 20) / 24 + 1, "value data longer than 16777216 bytes"},
    };
    for (const auto& c : cases) {
        EndlessSource source(c.wide ? utf16File(c.head) : c.head,
                             c.wide ? storeBytesToUtf16le(c.piece) : c.piece);
        unsigned operations = 0;
        const ParseResult r = parseRegStream(source, [&](Operation&&) { ++operations; });
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.errorLine, c.line) << c.error;
        EXPECT_EQ(r.error, c.error);
    }
}

// A source that gives one byte per read: every line end, CR LF pair and
// UTF-16 unit is split between reads somewhere.
class ByteByByteSource : public ByteSource {
public:
    explicit ByteByByteSource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t read(char* buffer, std::size_t size) override {
        if (bytes_.empty() || size == 0) return 0;
        buffer[0] = bytes_[0];
        bytes_.remove_prefix(1);
        return 1;
    }

private:
    std::string_view bytes_;
};

TEST(RegfileParser, PiecesOfAnySizeGiveTheSameResult) {
    const std::string text =
        "REGEDIT4\r\n\r[HKEY_CURRENT_USER\\A]\r\n\"v\"=hex:01,\\\r\n  02\n\r\n@=\"\xC3\xA9\"\r";
    for (const std::string& file :
         {text, utf16File(text), text + "\"x\"=\"open\r\n", utf16File(text) + "x"}) {
        ByteByByteSource source(file);
        std::vector<Operation> seen;
        const ParseResult r =
            parseRegStream(source, [&](Operation&& op) { seen.push_back(std::move(op)); });
        const ParseResult whole = parseRegFile(file);
        EXPECT_EQ(r.ok, whole.ok);
        EXPECT_EQ(r.errorLine, whole.errorLine);
        EXPECT_EQ(r.error, whole.error);
        if (whole.ok) {
            EXPECT_EQ(seen, whole.operations);
        }
    }
    EXPECT_TRUE(parseRegFile(text).ok);
    EXPECT_EQ(parseRegFile(text).operations.size(), 3u);
}

// Many lines cost no more memory than one: the changes come one at a time.
TEST(RegfileParser, AStreamHandsOverEachChangeAsItsLineIsRead) {
    const std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=dword:1\n@=-\n";
    MemorySource source(text);
    std::vector<Operation> seen;
    const ParseResult r =
        parseRegStream(source, [&](Operation&& op) { seen.push_back(std::move(op)); });
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.operations.empty());
    EXPECT_EQ(seen, parseRegFile(text).operations);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].line, 5u);
}

}  // namespace
}  // namespace vrk::regfile
