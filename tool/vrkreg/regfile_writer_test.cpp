// Writing .reg files: the exact layout of an export, value forms, hex
// wrapping, and the trip back through the parser.
#include "tool/vrkreg/regfile_writer.hpp"

#include <gtest/gtest.h>

#include <string>

#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_text.hpp"

namespace vrk::regfile {
namespace {

using vrk::reg::kLocalMachine;

std::string wide(const std::string& text) { return storeBytesToUtf16le(text); }

std::string counting(unsigned n) {
    std::string s;
    for (unsigned i = 0; i < n; ++i) s.push_back(static_cast<char>(i));
    return s;
}

TEST(RegfileWriter, WritesTheLayoutOfRegExport) {
    const std::vector<KeyBlock> blocks = {
        {{kLocalMachine, "Software\\Example"},
         {{"", vrk::reg::kRegSz, "default value"},
          {"Count", vrk::reg::kRegDword, std::string("\x2a\0\0\0", 4)},
          {"Long", vrk::reg::kRegBinary, counting(25)}}},
        {{kLocalMachine, "Software\\Example\\Sub"}, {}},
    };
    std::string out, error;
    ASSERT_TRUE(writeRegFile(blocks, out, error)) << error;
    const std::string expected =
        "\xFF\xFE" +
        wide(
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Example]\r\n"
            "@=\"default value\"\r\n"
            "\"Count\"=dword:0000002a\r\n"
            "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
            "  16,17,18\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Example\\Sub]\r\n"
            "\r\n");
    EXPECT_EQ(out, expected);
}

TEST(RegfileWriter, AnEmptyExportIsTheHeaderAlone) {
    std::string out, error;
    ASSERT_TRUE(writeRegFile({}, out, error));
    EXPECT_EQ(out, "\xFF\xFE" + wide("Windows Registry Editor Version 5.00\r\n\r\n"));
}

TEST(RegfileWriter, ChoosesTheFormForEachValue) {
    static const struct {
        ValueEntry value;
        const char* line;
    } cases[] = {
        // Text as reg shows it: one terminating zero is not shown, and text
        // stored without one is shown whole.
        {{"s", vrk::reg::kRegSz, std::string("text\0", 5)}, "\"s\"=\"text\""},
        {{"s", vrk::reg::kRegSz, "text"}, "\"s\"=\"text\""},
        {{"", vrk::reg::kRegSz, std::string(1, '\0')}, "@=\"\""},
        {{"", vrk::reg::kRegSz, ""}, "@=\"\""},
        {{"q\"\\", vrk::reg::kRegSz, "a\\b\"c\nd\re\tf"},
         "\"q\\\"\\\\\"=\"a\\\\b\\\"c\\nd\\re\tf\""},
        // Text that holds a zero is written up to it, as Windows' reg
        // export writes it; what follows the zero is left out.
        {{"z", vrk::reg::kRegSz, std::string("ab\0\0", 4)}, "\"z\"=\"ab\""},
        {{"z", vrk::reg::kRegSz, std::string("a\0b\0", 4)}, "\"z\"=\"a\""},
        {{"z", vrk::reg::kRegSz, std::string("a\0b", 3)}, "\"z\"=\"a\""},
        {{"z", vrk::reg::kRegSz, std::string("\0abc", 4)}, "\"z\"=\"\""},
        {{"z", vrk::reg::kRegSz, std::string(8, '\0')}, "\"z\"=\"\""},
        {{"d", vrk::reg::kRegDword, "\xef\xbe\xad\xde"}, "\"d\"=dword:deadbeef"},
        {{"d3", vrk::reg::kRegDword, "\x01\x02\x03"}, "\"d3\"=hex(4):01,02,03"},
        {{"d0", vrk::reg::kRegDword, ""}, "\"d0\"=hex(4):"},
        {{"b", vrk::reg::kRegBinary, ""}, "\"b\"=hex:"},
        {{"b", vrk::reg::kRegBinary, std::string("\0\xff", 2)}, "\"b\"=hex:00,ff"},
        {{"n", vrk::reg::kRegNone, ""}, "\"n\"=hex(0):"},
        {{"e", vrk::reg::kRegExpandSz, std::string("%A%\0", 4)},
         "\"e\"=hex(2):25,00,41,00,25,00,00,00"},
        {{"e", vrk::reg::kRegExpandSz, "\xC3\xA9"}, "\"e\"=hex(2):e9,00"},
        {{"m", vrk::reg::kRegMultiSz, std::string("a\0b\0\0", 5)},
         "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00"},
        {{"qw", vrk::reg::kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08"},
         "\"qw\"=hex(b):01,02,03,04,05,06,07,08"},
        {{"be", vrk::reg::kRegDwordBigEndian, std::string("\0\0\0\x01", 4)},
         "\"be\"=hex(5):00,00,00,01"},
        {{"big", 0x1234u, "\xAB"}, "\"big\"=hex(1234):ab"},
    };
    for (const auto& c : cases) EXPECT_EQ(valueLineText(c.value), c.line);
}

// The break comes once a line reaches 77 characters; continuation lines are
// indented by two blanks and hold 25 bytes.
TEST(RegfileWriter, WrapsHexDataLikeRegExport) {
    const std::string text = valueLineText({"Long", vrk::reg::kRegBinary, counting(100)});
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
        lines.push_back(text.substr(start, p - start));
    lines.push_back(text.substr(start));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].size(), 78u);  // "Long"=hex: and 22 bytes, then the backslash
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(lines[i].size(), 78u) << lines[i];
        EXPECT_EQ(lines[i].substr(0, 2), "  ");
        EXPECT_EQ(lines[i].back(), '\\');
    }
    EXPECT_EQ(lines[1].substr(0, 6), "  16,1");
    EXPECT_EQ(lines[4], "  61,62,63");

    // Exactly filling the first line leaves no dangling continuation.
    EXPECT_EQ(valueLineText({"Long", vrk::reg::kRegBinary, counting(22)}).find('\\'),
              std::string::npos);
    EXPECT_NE(valueLineText({"Long", vrk::reg::kRegBinary, counting(23)}).find('\\'),
              std::string::npos);

    // A name past the limit still puts one byte on the first line.
    const std::string longName(80, 'n');
    const std::string wrapped = valueLineText({longName, vrk::reg::kRegBinary, "\x01\x02"});
    EXPECT_EQ(wrapped, "\"" + longName + "\"=hex:01,\\\r\n  02");

    // Columns count characters of the file, not bytes of the store: a
    // two-byte UTF-8 letter in the name is one column.
    const std::string ascii = valueLineText({"Lo", vrk::reg::kRegBinary, counting(40)});
    const std::string accented = valueLineText({"L\xC3\xA9", vrk::reg::kRegBinary, counting(40)});
    EXPECT_EQ(ascii.find('\\'), accented.find('\\') - 1);
}

TEST(RegfileWriter, RefusesNamesAFileCannotHold) {
    std::string out = "untouched", error;
    EXPECT_FALSE(writeRegFile({{{kLocalMachine, "a\nb"}, {}}}, out, error));
    EXPECT_NE(error.find("line break"), std::string::npos) << error;
    EXPECT_FALSE(writeRegFile(
        {{{kLocalMachine, "a"}, {{std::string("x\0y", 3), vrk::reg::kRegSz, ""}}}}, out, error));
    EXPECT_NE(error.find("NUL"), std::string::npos) << error;
    EXPECT_EQ(out, "untouched");
}

// What is written reads back as the same keys, names, types and bytes (text
// with its terminating zero, as import stores it).
TEST(RegfileWriter, ExportReadsBackUnchanged) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
    const std::string z(1, '\0');
    const std::vector<KeyBlock> blocks = {
        {{kLocalMachine, ""}, {{"atRoot", vrk::reg::kRegSz, "x" + z}}},
        {{kLocalMachine, "Software\\K]ey [1]\\Caf\xC3\xA9 \xE9"},
         {{"", vrk::reg::kRegSz, "default" + z},
          {"quote\" back\\ nl\n cr\r", vrk::reg::kRegSz, "v\"\\\n\r;=@" + z},
          {"latin1 \xE9", vrk::reg::kRegSz, "\xE9\xFF\x80" + z},
          {"all", vrk::reg::kRegBinary, allBytes},
          {"allAsText", vrk::reg::kRegExpandSz, allBytes + z},
          {"multi", vrk::reg::kRegMultiSz, std::string("a\0\xC3\xA9\0\xE9\0\0", 8)},
          {"dw", vrk::reg::kRegDword, "\x01\x00\x00\x80"},
          {"dwShort", vrk::reg::kRegDword, "\x01"},
          {"none", vrk::reg::kRegNone, ""},
          {"link", vrk::reg::kRegLink, "\x01\x02\x03"}}},
        {{vrk::reg::kClassesRoot, "empty"}, {}},
        {{vrk::reg::kUsers, std::string(255, 'k')},
         {{std::string(300, 'v'), vrk::reg::kRegBinary, counting(7)}}},
    };
    std::string out, error;
    ASSERT_TRUE(writeRegFile(blocks, out, error)) << error;
    const ParseResult r = parseRegFile(out);
    ASSERT_TRUE(r.ok) << r.errorLine << ": " << r.error;
    std::vector<KeyBlock> back;
    for (const Operation& op : r.operations) {
        if (op.kind == Operation::Kind::openKey) {
            back.push_back({op.key, {}});
        } else {
            ASSERT_EQ(op.kind, Operation::Kind::setValue);
            back.back().values.push_back({op.name, op.type, op.data});
        }
    }
    EXPECT_EQ(back, blocks);
}

// Text stored without a terminating zero is written as reg shows it and
// reads back with its zero, as reg import stores text. A REG_SZ that holds
// a zero reads back as its text up to that zero, as Windows' reg export
// writes it.
TEST(RegfileWriter, TextWithoutItsZeroReadsBackWithIt) {
    const struct {
        ValueEntry value;
        std::string back;
    } cases[] = {
        {{"s", vrk::reg::kRegSz, "hello"}, std::string("hello\0", 6)},
        {{"s", vrk::reg::kRegSz, ""}, std::string(1, '\0')},
        {{"s", vrk::reg::kRegSz, std::string("a\0b", 3)}, std::string("a\0", 2)},
        {{"s", vrk::reg::kRegSz, std::string("a\0b\0", 4)}, std::string("a\0", 2)},
        {{"s", vrk::reg::kRegSz, std::string("\0\0", 2)}, std::string(1, '\0')},
        {{"e", vrk::reg::kRegExpandSz, "%P%"}, std::string("%P%\0", 4)},
        {{"m", vrk::reg::kRegMultiSz, "a"}, std::string("a\0", 2)},
    };
    for (const auto& c : cases) {
        std::string out, error;
        ASSERT_TRUE(writeRegFile({{{kLocalMachine, "K"}, {c.value}}}, out, error)) << error;
        const ParseResult r = parseRegFile(out);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.operations.size(), 2u);
        EXPECT_EQ(r.operations[1].data, c.back) << valueLineText(c.value);
    }
}

}  // namespace
}  // namespace vrk::regfile
