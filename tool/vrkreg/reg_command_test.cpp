// The registry command run in-process on a scratch store: arguments, the
// output of query, the data that add stores, deletes, and import and export
// with their failures.
#include "tool/vrkreg/reg_command.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <cstring>
#include <new>

#include "tool/vrkreg/reg_import.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_text.hpp"
#include "tool/vrkreg/vrkreg_test_support.hpp"

namespace vrk::regfile {
namespace {

// Why a case runs on our store only: it relies on a batch being all or
// nothing, and the Windows registry has no batches.
const char* const kNeedsBatches =
    "relies on an all-or-nothing batch; the Windows registry has none";

using testing::CommandTest;
using testing::readFile;
using testing::snapshot;
using testing::writeFile;
using vrk::reg::RegCall;

std::string utf16File(const std::string& text) { return "\xFF\xFE" + storeBytesToUtf16le(text); }

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// ---- arguments and usage ---------------------------------------------------

TEST_F(CommandTest, UsageRequestsPrintToStandardOutputAndSucceed) {
    static const struct {
        std::vector<std::string> args;
        const char* expected;
    } cases[] = {
        {{"/?"}, "Usage: vrkreg COMMAND"},
        {{"-h"}, "Usage: vrkreg COMMAND"},
        {{"--help"}, "Usage: vrkreg COMMAND"},
        {{"query", "/?"}, "Usage: vrkreg query KEY"},
        {{"ADD", "-?"}, "Usage: vrkreg add KEY"},
        {{"delete", "HKLM\\x", "/?"}, "Usage: vrkreg delete KEY"},
        {{"import", "-h"}, "Usage: vrkreg import FILE"},
        {{"export", "/H"}, "Usage: vrkreg export KEY FILE"},
        {{"--version"}, "vrkreg " VRK_VERSION "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 0) << c.args[0];
        EXPECT_TRUE(contains(out, c.expected)) << out;
        EXPECT_EQ(err, "");
    }
}

TEST_F(CommandTest, BadArgumentsGiveAHintAndChangeNothing) {
    static const struct {
        std::vector<std::string> args;
        const char* reason;
        const char* hint;
    } cases[] = {
        {{}, "a command is missing", "vrkreg /?"},
        {{"frobnicate"}, "unknown command \"frobnicate\"", "vrkreg /?"},
        {{"query"}, "exactly one KEY", "vrkreg query /?"},
        {{"query", "HKLM\\a", "HKLM\\b"}, "exactly one KEY", "vrkreg query /?"},
        {{"query", "HKLM\\a", "/x"}, "unknown option /x", "vrkreg query /?"},
        {{"query", "HKLM\\a", "/v"}, "option /v needs an argument", "vrkreg query /?"},
        {{"query", "HKLM\\a", "/v", "x", "/ve"}, "not both", "vrkreg query /?"},
        {{"query", "HKLM\\a", "/s", "/S"}, "given twice", "vrkreg query /?"},
        {{"query", "HKLM\\a", "/reg:32", "/reg:64"}, "view is given twice", "vrkreg query /?"},
        {{"query", "HKLM\\a", "/reg:16"}, "unknown option /reg:16", "vrkreg query /?"},
        {{"query", "Software\\a"}, "invalid key \"Software\\a\"", "vrkreg query /?"},
        {{"query", "HKEY_CURRENT_CONFIG\\a"}, "invalid key", "vrkreg query /?"},
        {{"add", "HKLM\\a\\\\b"}, "empty key name", "vrkreg add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_WHAT"},
         "unknown type \"REG_WHAT\"",
         "vrkreg add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_DWORD", "/d", "0x"},
         "invalid REG_DWORD data",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_DWORD", "/d", "-1"},
         "invalid REG_DWORD data",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_DWORD", "/d", "4294967296"},
         "invalid REG_DWORD",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_DWORD", "/d", "0x100000000"},
         "invalid REG_DWORD",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_DWORD", "/d", "12ab"},
         "invalid REG_DWORD",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_QWORD", "/d", "18446744073709551616"},
         "invalid REG_QWORD",
         "add /?"},
        {{"add", "HKLM\\a", "/ve", "/t", "REG_DWORD", "/f"},
         "needs its number in /d DATA",
         "add /?"},
        {{"add", "HKLM\\a", "/ve", "/t", "REG_DWORD_BIG_ENDIAN", "/f"},
         "needs its number in /d DATA",
         "add /?"},
        {{"add", "HKCU\\", "/v", "Value1", "/d", "foo", "/f"},
         "ends in an empty key name",
         "add /?"},
        {{"add", "HKLM\\a\\sub\\\\", "/f"}, "ends in an empty key name", "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_QWORD", "/d", "-9223372036854775809"},
         "invalid REG_QWORD",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_QWORD", "/d", "-0x1"},
         "a negative number must be decimal",
         "add /?"},
        {{"export", "/y", "HKLM\\a", "f.reg"}, "options go after KEY and FILE", "export /?"},
        {{"export", "HKLM\\a", "/y", "f.reg"}, "options go after KEY and FILE", "export /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_BINARY", "/d", "zz"},
         "only hex digits",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"},
         "empty string",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/t", "REG_MULTI_SZ", "/s", "ab", "/d", "x"},
         "one character",
         "add /?"},
        {{"add", "HKLM\\a", "/v", "n", "/s", ",", "/d", "x"}, "only for REG_MULTI_SZ", "add /?"},
        {{"delete", "HKLM\\a", "/va", "/ve"}, "only one of", "vrkreg delete /?"},
        {{"import"}, "exactly one FILE", "vrkreg import /?"},
        {{"export", "HKLM\\a"}, "a KEY and a FILE", "vrkreg export /?"},
    };
    const auto before = snapshot(*store);
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 1) << (c.args.empty() ? "" : c.args[0]) << " " << c.reason;
        EXPECT_TRUE(contains(err, c.reason)) << err;
        EXPECT_TRUE(contains(err, c.hint)) << err;
        EXPECT_EQ(out, "");
    }
    // Not even the key of a failed add was created.
    EXPECT_EQ(snapshot(*store), before);
}

TEST_F(CommandTest, OptionsTakeEitherPrefixAndAnyLetterCase) {
    ok({"ADD", "hklm\\Software\\X", "-V", "n", "/T", "reg_dword", "-D", "7"});
    std::uint32_t type = 0;
    EXPECT_EQ(valueOf("Software\\X", "n", &type), std::string("\x07\0\0\0", 4));
    EXPECT_EQ(type, vrk::reg::kRegDword);
    // Data that looks like an option is still data.
    ok({"add", "HKEY_LOCAL_MACHINE\\Software\\X", "/v", "-d", "/d", "/f"});
    EXPECT_EQ(valueOf("Software\\X", "-d"), sz("/f"));
}

// Windows' reg takes /reg:32 and /reg:64 on every command; our store has one
// view, and the scratch store's keys lie where both views see the same keys.
TEST_F(CommandTest, EveryCommandTakesARegistryView) {
    const std::string file = path("view.reg");
    ok({"add", "HKLM\\Software\\View", "/v", "n", "/d", "x", "/reg:64"});
    ok({"query", "HKLM\\Software\\View", "/v", "n", "/REG:32"});
    EXPECT_TRUE(contains(out, "x")) << out;
    ok({"export", "HKLM\\Software\\View", file, "-reg:64"});
    ok({"delete", "HKLM\\Software\\View", "/v", "n", "/f", "/reg:32"});
    ok({"import", file, "/reg:64"});
    EXPECT_EQ(valueOf("Software\\View", "n"), std::string("x\0", 2));  // as reg stores text
    ok({"delete", "HKLM\\Software\\View", "/f", "/reg:32"});
}

// ---- add and query ---------------------------------------------------------

TEST_F(CommandTest, AddStoresEachTypeAndQueryShowsIt) {
    static const struct {
        std::vector<std::string> typeAndData;
        std::uint32_t type;
        std::string bytes;
        const char* shown;
    } cases[] = {
        // Text with its terminating zero, as Windows' reg stores it.
        {{"/d", "plain text"},
         vrk::reg::kRegSz,
         std::string("plain text\0", 11),
         "REG_SZ    plain text"},
        {{}, vrk::reg::kRegSz, std::string(1, '\0'), "REG_SZ    "},
        {{"/t", "REG_SZ", "/d", "a\\0b"},
         vrk::reg::kRegSz,
         std::string("a\\0b\0", 5),
         "REG_SZ    a\\0b"},
        {{"/t", "REG_EXPAND_SZ"},
         vrk::reg::kRegExpandSz,
         std::string(1, '\0'),
         "REG_EXPAND_SZ    "},
        {{"/t", "REG_MULTI_SZ"}, vrk::reg::kRegMultiSz, std::string(1, '\0'), "REG_MULTI_SZ    "},
        {{"/t", "REG_EXPAND_SZ", "/d", "%PATH%"},
         vrk::reg::kRegExpandSz,
         std::string("%PATH%\0", 7),
         "REG_EXPAND_SZ    %PATH%"},
        {{"/t", "REG_MULTI_SZ", "/d", "a\\0bc"},
         vrk::reg::kRegMultiSz,
         std::string("a\0bc\0\0", 6),
         "REG_MULTI_SZ    a\\0bc"},
        {{"/t", "REG_MULTI_SZ", "/s", ",", "/d", "a,b"},
         vrk::reg::kRegMultiSz,
         std::string("a\0b\0\0", 5),
         "REG_MULTI_SZ    a\\0b"},
        {{"/t", "REG_MULTI_SZ", "/d", ""},
         vrk::reg::kRegMultiSz,
         std::string("\0", 1),
         "REG_MULTI_SZ    "},
        {{"/t", "REG_DWORD", "/d", "42"},
         vrk::reg::kRegDword,
         std::string("\x2a\0\0\0", 4),
         "REG_DWORD    0x2a"},
        {{"/t", "REG_DWORD", "/d", "0xFFFFFFFF"},
         vrk::reg::kRegDword,
         "\xff\xff\xff\xff",
         "REG_DWORD    0xffffffff"},
        {{"/t", "REG_DWORD_BIG_ENDIAN", "/d", "0x01020304"},
         vrk::reg::kRegDwordBigEndian,
         "\x04\x03\x02\x01",
         "REG_DWORD_BIG_ENDIAN    0x1020304"},
        {{"/t", "REG_QWORD", "/d", "0x123456789"},
         vrk::reg::kRegQword,
         std::string("\x89\x67\x45\x23\x01\0\0\0", 8),
         "REG_QWORD    0x123456789"},
        {{"/t", "REG_QWORD", "/d", "18446744073709551615"},
         vrk::reg::kRegQword,
         std::string(8, '\xff'),
         "REG_QWORD    0xffffffffffffffff"},
        {{"/t", "REG_BINARY", "/d", "00ff7Fa0"},
         vrk::reg::kRegBinary,
         std::string("\0\xff\x7f\xa0", 4),
         "REG_BINARY    00FF7FA0"},
        {{"/t", "REG_BINARY"}, vrk::reg::kRegBinary, "", "REG_BINARY    "},
        {{"/t", "REG_NONE", "/d", "Test"},
         vrk::reg::kRegNone,
         std::string("T\0e\0s\0t\0\0\0", 10),
         "REG_NONE    54006500730074000000"},
        {{"/t", "REG_NONE"}, vrk::reg::kRegNone, std::string(2, '\0'), "REG_NONE    0000"},
        {{"/t", "REG_MULTI_SZ", "/d", "a\\0"},
         vrk::reg::kRegMultiSz,
         std::string("a\0\0", 3),
         "REG_MULTI_SZ    a"},
        {{"/t", "REG_MULTI_SZ", "/s", "#", "/d", "a#"},
         vrk::reg::kRegMultiSz,
         std::string("a\0\0", 3),
         "REG_MULTI_SZ    a"},
        {{"/t", "REG_MULTI_SZ", "/s", "#", "/d", "#"},
         vrk::reg::kRegMultiSz,
         std::string(2, '\0'),
         "REG_MULTI_SZ    "},
        {{"/t", "REG_MULTI_SZ", "/d", "\\0"},
         vrk::reg::kRegMultiSz,
         std::string(2, '\0'),
         "REG_MULTI_SZ    "},
        {{"/t", "REG_BINARY", "/d", "DeAdBeEf0DD"},
         vrk::reg::kRegBinary,
         "\x0d\xea\xdb\xee\xf0\xdd",
         "REG_BINARY    0DEADBEEF0DD"},
        {{"/t", "REG_QWORD", "/d", "-1"},
         vrk::reg::kRegQword,
         std::string(8, '\xff'),
         "REG_QWORD    0xffffffffffffffff"},
        {{"/t", "REG_QWORD", "/d", "-9223372036854775808"},
         vrk::reg::kRegQword,
         std::string("\0\0\0\0\0\0\0\x80", 8),
         "REG_QWORD    0x8000000000000000"},
        // Least significant byte first, as Windows' reg writes every
        // REG_DWORD_BIG_ENDIAN.
        {{"/t", "REG_DWORD_BIG_ENDIAN", "/d", "456"},
         vrk::reg::kRegDwordBigEndian,
         std::string("\xc8\x01\0\0", 4),
         "REG_DWORD_BIG_ENDIAN    0x1c8"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"add", "HKLM\\Software\\T", "/v", "v"};
        args.insert(args.end(), c.typeAndData.begin(), c.typeAndData.end());
        ok(args);
        EXPECT_EQ(out, "The operation completed successfully.\n");
        std::uint32_t type = 0;
        EXPECT_EQ(valueOf("Software\\T", "v", &type), c.bytes) << c.shown;
        EXPECT_EQ(type, c.type) << c.shown;
        ok({"query", "HKLM\\Software\\T", "/v", "v"});
        EXPECT_EQ(out,
                  "\nHKEY_LOCAL_MACHINE\\Software\\T\n    v    " + std::string(c.shown) + "\n\n");
    }
}

TEST_F(CommandTest, AddWithoutAValueCreatesTheKeyAndItsParents) {
    ok({"add", "HKCU\\a\\b\\c"});
    EXPECT_TRUE(keyExists(vrk::reg::kCurrentUser, "a\\b\\c"));
    ok({"add", "HKCU\\a\\b\\c", "/f"});  // existing: still fine
    ok({"add", "HKCU\\a", "/ve", "/d", "top"});
    ok({"query", "HKEY_CURRENT_USER\\a", "/ve"});
    EXPECT_EQ(out, "\nHKEY_CURRENT_USER\\a\n    (Default)    REG_SZ    top\n\n");
    ok({"add", "HKCU\\a", "/d", "replaced"});  // data without /v: the default value
    ok({"query", "HKCU\\a", "/ve"});
    EXPECT_TRUE(contains(out, "(Default)    REG_SZ    replaced")) << out;
}

// Wine's reg tests (add.c, test_add): an add with neither a value name nor
// data sets the key's default value to the empty text, an existing one
// included; one that names a value leaves the default value alone.
TEST_F(CommandTest, AddWithNeitherNameNorDataSetsTheDefaultToEmptyText) {
    ok({"add", "HKCU\\named", "/v", "Test", "/d", "Just me here"});
    ok({"query", "HKCU\\named"});
    EXPECT_EQ(out, "\nHKEY_CURRENT_USER\\named\n    Test    REG_SZ    Just me here\n\n");
    static const char* const kAdds[][4] = {
        {"add", "HKCU\\plain", "/f", nullptr},
        {"add", "HKCU\\plain", nullptr, nullptr},  // an existing key, without /f
        {"add", "HKCU\\plain", "/t", "REG_SZ"},
    };
    for (const auto& add : kAdds) {
        std::vector<std::string> args;
        for (const char* a : add) {
            if (a != nullptr) args.push_back(a);
        }
        ok(args);
        ok({"query", "HKCU\\plain", "/ve"});
        EXPECT_EQ(out, "\nHKEY_CURRENT_USER\\plain\n    (Default)    REG_SZ    \n\n")
            << args.size();
        ok({"add", "HKCU\\plain", "/ve", "/d", "other", "/f"});
    }
    ok({"add", "HKCU\\plain", "/t", "REG_DWORD", "/d", "0x5", "/f"});
    ok({"query", "HKCU\\plain", "/ve"});
    EXPECT_TRUE(contains(out, "(Default)    REG_DWORD    0x5")) << out;
}

TEST_F(CommandTest, QueryListsValuesThenSubkeysAndRecursesWithS) {
    ok({"add", "HKLM\\Q", "/v", "b", "/d", "2"});
    ok({"add", "HKLM\\Q", "/v", "a", "/t", "REG_DWORD", "/d", "1"});
    ok({"add", "HKLM\\Q\\Zed"});
    ok({"delete", "HKLM\\Q\\Zed", "/ve", "/f"});  // a key without values
    ok({"add", "HKLM\\Q\\alpha", "/v", "deep", "/d", "x"});
    ok({"add", "HKLM\\Q\\alpha\\inner", "/ve", "/d", "d"});

    // Values list in the order they were made; Wine departs, listing them
    // by name.
    const std::string values = vrk::reg::testing::windowsOrWine<std::string>(
        "    b    REG_SZ    2\n"
        "    a    REG_DWORD    0x1\n",
        "    a    REG_DWORD    0x1\n"
        "    b    REG_SZ    2\n");
    ok({"query", "HKLM\\Q"});
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\Q\n" + values +
                       "\n"
                       "HKEY_LOCAL_MACHINE\\Q\\alpha\n"
                       "HKEY_LOCAL_MACHINE\\Q\\Zed\n");

    ok({"query", "HKLM\\Q", "/s"});
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\Q\n" + values +
                       "\n"
                       "HKEY_LOCAL_MACHINE\\Q\\alpha\n"
                       "    deep    REG_SZ    x\n"
                       "\n"
                       "HKEY_LOCAL_MACHINE\\Q\\alpha\\inner\n"
                       "    (Default)    REG_SZ    d\n"
                       "\n"
                       "HKEY_LOCAL_MACHINE\\Q\\Zed\n"
                       "\n");

    ok({"query", "HKLM\\Q", "/s", "/v", "DEEP"});
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\Q\\alpha\n    deep    REG_SZ    x\n\n");

    ok({"query", "HKLM\\Q\\Zed"});
    EXPECT_EQ(out, "\n");

    // A key with subkeys and no values shows only its subkeys; with /s only
    // the keys below it.
    ok({"add", "HKLM\\P\\one", "/v", "v", "/d", "1"});
    ok({"add", "HKLM\\P\\two"});
    ok({"delete", "HKLM\\P\\two", "/ve", "/f"});  // a key without values
    ok({"query", "HKLM\\P"});
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\P\\one\nHKEY_LOCAL_MACHINE\\P\\two\n");
    ok({"query", "HKLM\\P", "/s"});
    EXPECT_EQ(out,
              "\nHKEY_LOCAL_MACHINE\\P\\one\n"
              "    v    REG_SZ    1\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\P\\two\n"
              "\n");

    // A default value never set is shown, not a failure.
    ok({"query", "HKLM\\P", "/ve"});
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\P\n    (Default)    REG_SZ    (value not set)\n\n");
}

TEST_F(CommandTest, QueryShowsDataAsRegQueryDoes) {
    static const struct {
        std::uint32_t type;
        std::string data;
        const char* shown;
    } cases[] = {
        {vrk::reg::kRegSz, std::string("text\0after", 10), "text"},
        {vrk::reg::kRegExpandSz, std::string("%X%\0", 4), "%X%"},
        {vrk::reg::kRegMultiSz, std::string("a\0\0b\0\0", 6), "a\\0\\0b"},
        {vrk::reg::kRegMultiSz, std::string("a\0b", 3), "a\\0b"},
        {vrk::reg::kRegDword, "\x01\x02", "0102"},
        {vrk::reg::kRegQword, "\x01", "01"},
        {vrk::reg::kRegLink, "ab", "6162"},
        {0x99, "\xab\xcd", "ABCD"},
    };
    for (const auto& c : cases) EXPECT_EQ(displayData(c.type, c.data), c.shown) << c.shown;
    EXPECT_EQ(typeName(vrk::reg::kRegLink), "REG_LINK");
    EXPECT_EQ(typeName(0x99), "0x99");
}

// A stream that takes nothing, as a full disk does.
class FullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(CommandTest, OutputThatCannotBeWrittenIsAFailure) {
    ok({"add", "HKLM\\Q", "/v", "x", "/d", "1"});
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"query", "HKLM\\Q"},
                                               {"query", "HKLM\\Q", "/s"},
                                               {"export", "HKLM\\Q", "-"},
                                               {"add", "HKLM\\Q"}}) {
        FullBuffer full;
        std::ostream o(&full);
        std::ostringstream e;
        EXPECT_EQ(runRegCommand(args, reg, o, e), 1) << args[0];
        EXPECT_TRUE(contains(e.str(), "cannot write")) << e.str();
    }
}

TEST_F(CommandTest, QueryFailuresNameTheKeyAndTheError) {
    ok({"add", "HKLM\\Q", "/v", "x", "/d", "1"});
    static const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"query", "HKLM\\Nope"},
         "vrkreg query: cannot open HKEY_LOCAL_MACHINE\\Nope: error 2 (The system cannot find the "
         "file specified.)"},
        {{"query", "HKLM\\Q", "/v", "y"},
         "cannot find value \"y\" in HKEY_LOCAL_MACHINE\\Q: error 2"},
        {{"query", "HKLM\\Q", "/s", "/v", "y"},
         "cannot find value \"y\" in HKEY_LOCAL_MACHINE\\Q or below"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 1);
        EXPECT_TRUE(contains(err, c.message)) << err;
        EXPECT_EQ(out, "");
    }
}

// A failure detail the registry gives is part of the message.
TEST_F(CommandTest, FailureMessagesCarryTheRegistrysDetail) {
    struct Detailed : vrk::reg::ForwardingRegistry {
        using ForwardingRegistry::ForwardingRegistry;
        const char* lastFailureDetail() const override {
            return "HKEY_LOCAL_MACHINE.db: disk I/O error";
        }
    } detailed(faults);
    faults.failCall(RegCall::setValueEx, 1, vrk::reg::kRegistryIoFailed);
    std::ostringstream o, e;
    EXPECT_EQ(runRegCommand({"add", "HKLM\\D", "/v", "n", "/d", "x"}, detailed, o, e), 1);
    EXPECT_EQ(
        e.str(),
        "vrkreg add: cannot set value \"n\" in HKEY_LOCAL_MACHINE\\D: error 1016 (An I/O operation "
        "initiated by the registry failed unrecoverably.); HKEY_LOCAL_MACHINE.db: disk I/O "
        "error\n");

    // Every number the store returns has its text.
    for (const long error :
         {vrk::reg::kFileNotFound, vrk::reg::kAccessDenied, vrk::reg::kInvalidHandle,
          vrk::reg::kNotEnoughMemory, vrk::reg::kInvalidParameter, vrk::reg::kBadPathname,
          vrk::reg::kMoreData, vrk::reg::kNoMoreItems, vrk::reg::kBadDb, vrk::reg::kBadKey,
          vrk::reg::kRegistryIoFailed, vrk::reg::kKeyDeleted})
        EXPECT_NE(errorMeaning(error), "Unknown error.") << error;
    EXPECT_EQ(errorMeaning(vrk::reg::kBadKey), "The configuration registry key is invalid.");
}

// ---- delete ----------------------------------------------------------------

TEST_F(CommandTest, DeleteRemovesValuesOrWholeSubtrees) {
    ok({"add", "HKLM\\D", "/ve", "/d", "def"});
    ok({"add", "HKLM\\D", "/v", "a", "/d", "1"});
    ok({"add", "HKLM\\D", "/v", "b", "/d", "2"});
    ok({"add", "HKLM\\D\\s1\\s2\\s3", "/v", "deep", "/d", "x"});
    ok({"add", "HKLM\\D\\t1"});
    ok({"add", "HKLM\\Dx", "/v", "keep", "/d", "y"});

    ok({"delete", "HKLM\\D", "/v", "A", "/f"});  // names ignore letter case
    EXPECT_EQ(valueOf("D", "a"), "<error 2>");
    EXPECT_EQ(valueOf("D", "b"), sz("2"));

    ok({"delete", "HKLM\\D", "/ve"});
    EXPECT_EQ(valueOf("D", ""), "<error 2>");

    ok({"add", "HKLM\\D", "/v", "c", "/d", "3"});
    ok({"delete", "HKLM\\D", "/va"});
    EXPECT_EQ(valueOf("D", "b"), "<error 2>");
    EXPECT_EQ(valueOf("D", "c"), "<error 2>");
    EXPECT_TRUE(keyExists(vrk::reg::kLocalMachine, "D\\s1\\s2\\s3"));  // subkeys stay with /va

    ok({"delete", "HKLM\\D"});
    EXPECT_EQ(out, "The operation completed successfully.\n");
    EXPECT_FALSE(keyExists(vrk::reg::kLocalMachine, "D"));
    EXPECT_EQ(valueOf("Dx", "keep"), sz("y"));  // a sibling with the same prefix stays
}

// A change whose flush fails was made all the same: the failure says so.
TEST_F(CommandTest, AFailedFlushSaysTheChangeWasMade) {
    faults.failCall(RegCall::flushKey, 1, vrk::reg::kRegistryIoFailed);
    EXPECT_EQ(run({"add", "HKLM\\F", "/v", "v", "/d", "1"}), 1);
    EXPECT_TRUE(contains(err,
                         "the change of HKEY_LOCAL_MACHINE\\F was made, but it could not be "
                         "made durable"))
        << err;
    ok({"query", "HKLM\\F", "/v", "v"});
}

TEST_F(CommandTest, DeleteFailures) {
    ok({"add", "HKLM\\D", "/v", "a", "/d", "1"});
    static const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"delete", "HKLM\\Missing"},
         "vrkreg delete: cannot delete HKEY_LOCAL_MACHINE\\Missing: error 2"},
        {{"delete", "HKLM\\Missing\\Deeper"},
         "cannot delete HKEY_LOCAL_MACHINE\\Missing\\Deeper: error 2"},
        {{"delete", "HKLM\\D", "/v", "nope"},
         "cannot delete value \"nope\" of HKEY_LOCAL_MACHINE\\D: error 2"},
        {{"delete", "HKLM\\Missing", "/va"}, "cannot open HKEY_LOCAL_MACHINE\\Missing: error 2"},
        {{"delete", "HKLM"}, "cannot delete the root key HKEY_LOCAL_MACHINE"},
        {{"delete", "HKEY_USERS\\"}, "cannot delete the root key HKEY_USERS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 1);
        EXPECT_TRUE(contains(err, c.message)) << err;
    }
    EXPECT_EQ(valueOf("D", "a"), sz("1"));
}

// A failure half-way through a subtree leaves the whole subtree as it was.
TEST_F(CommandTest, AFailedSubtreeDeletionChangesNothing) {
    if (!vrk::reg::platformRegistryHasBatches()) GTEST_SKIP() << kNeedsBatches;
    ok({"add", "HKLM\\T\\a\\x"});
    ok({"add", "HKLM\\T\\b", "/v", "v", "/d", "1"});
    ok({"add", "HKLM\\T\\c"});
    const auto before = snapshot(*store);
    faults.failCall(RegCall::deleteKey, 3, vrk::reg::kAccessDenied);
    EXPECT_EQ(run({"delete", "HKLM\\T"}), 1);
    EXPECT_TRUE(contains(err, "error 5 (Access is denied.)")) << err;
    EXPECT_EQ(snapshot(*store), before);
}

// Another process at work on the store: runs an action on the store just
// before the nth call of one kind that passes through.
class RacingRegistry : public vrk::reg::ForwardingRegistry {
public:
    explicit RacingRegistry(vrk::reg::Registry& target) : ForwardingRegistry(target) {}
    void before(RegCall call, unsigned nth, std::function<void()> action) {
        call_ = call;
        nth_ = nth;
        action_ = std::move(action);
    }
    long openKeyEx(vrk::reg::Key parent, const char* subKey, std::uint32_t access,
                   vrk::reg::Key* result) override {
        race(RegCall::openKeyEx);
        return ForwardingRegistry::openKeyEx(parent, subKey, access, result);
    }
    long enumKey(vrk::reg::Key key, std::uint32_t index, char* name,
                 std::uint32_t nameSize) override {
        race(RegCall::enumKey);
        return ForwardingRegistry::enumKey(key, index, name, nameSize);
    }
    long deleteKey(vrk::reg::Key key, const char* subKey) override {
        race(RegCall::deleteKey);
        return ForwardingRegistry::deleteKey(key, subKey);
    }

private:
    void race(RegCall call) {
        if (call == call_ && action_ && --nth_ == 0) std::exchange(action_, nullptr)();
    }
    RegCall call_ = RegCall::openKeyEx;
    unsigned nth_ = 0;
    std::function<void()> action_;
};

// Keys of the subtree that another process deletes or creates while the
// subtree is deleted: a key already gone counts as deleted, a key created
// meanwhile is deleted too.
TEST_F(CommandTest, DeletingASubtreeThatAnotherProcessChanges) {
    const auto other = [&](std::vector<std::string> args) {
        return [this, args] {
            std::ostringstream o, e;
            ASSERT_EQ(runRegCommand(args, *store, o, e), 0) << e.str();
        };
    };
    // The walk: open T; list T, open T\a; list a, open a\x; list x; delete x;
    // list a; delete a; list T, open T\b; ...
    const struct {
        const char* what;
        RegCall call;
        unsigned nth;
        std::vector<std::vector<std::string>> actions;
    } cases[] = {
        {"a listed key deleted before it is opened",
         RegCall::openKeyEx,
         2,
         {{"delete", "HKLM\\T\\a", "/f"}}},
        {"the open key deleted before it is listed",
         RegCall::enumKey,
         3,
         {{"delete", "HKLM\\T\\a", "/f"}}},
        {"a subkey created before its parent is deleted",
         RegCall::deleteKey,
         2,
         {{"add", "HKLM\\T\\a\\new\\er"}}},
        {"a key re-created with other subkeys",
         RegCall::deleteKey,
         2,
         {{"delete", "HKLM\\T\\a", "/f"}, {"add", "HKLM\\T\\a\\z", "/v", "v", "/d", "1"}}},
        {"the top key deleted before its last subkey",
         RegCall::deleteKey,
         4,
         {{"delete", "HKLM\\T", "/f"}}},
    };
    for (const auto& c : cases) {
        ok({"add", "HKLM\\T\\a\\x"});
        ok({"add", "HKLM\\T\\b\\y", "/v", "v", "/d", "1"});
        ok({"add", "HKLM\\T\\c"});
        RacingRegistry racing(*store);
        vrk::reg::CountingRegistry counted(racing);
        bool raced = false;
        racing.before(c.call, c.nth, [&] {
            for (const auto& a : c.actions) other(a)();
            raced = true;
        });
        std::ostringstream o, e;
        EXPECT_EQ(runRegCommand({"delete", "HKLM\\T", "/f"}, counted, o, e), 0)
            << c.what << ": " << e.str();
        EXPECT_TRUE(raced) << c.what;
        EXPECT_FALSE(keyExists(vrk::reg::kLocalMachine, "T")) << c.what;
        EXPECT_EQ(counted.openHandles(), 0u) << c.what;
        if (keyExists(vrk::reg::kLocalMachine, "T")) ok({"delete", "HKLM\\T", "/f"});
    }
}

// ---- import ----------------------------------------------------------------

TEST_F(CommandTest, ImportAppliesEveryChangeOfTheFile) {
    ok({"add", "HKLM\\Old\\Sub", "/v", "x", "/d", "1"});
    ok({"add", "HKLM\\Keep", "/v", "gone", "/d", "1"});
    ok({"add", "HKLM\\Keep", "/v", "stays", "/d", "1"});
    writeFile(path("in.reg"), utf16File("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[-HKEY_LOCAL_MACHINE\\Old]\r\n\r\n"
                                        "[-HKEY_LOCAL_MACHINE\\NeverWasThere]\r\n\r\n"
                                        "[HKEY_LOCAL_MACHINE\\Keep]\r\n"
                                        "\"gone\"=-\r\n"
                                        "\"neverWasThere\"=-\r\n"
                                        "\"new\"=dword:00000010\r\n\r\n"
                                        "[HKEY_LOCAL_MACHINE\\New\\Deep\\Key]\r\n"
                                        "@=\"d\"\r\n"));
    ok({"import", path("in.reg")});
    EXPECT_EQ(out, "The operation completed successfully.\n");
    EXPECT_FALSE(keyExists(vrk::reg::kLocalMachine, "Old"));
    EXPECT_EQ(valueOf("Keep", "gone"), "<error 2>");
    EXPECT_EQ(valueOf("Keep", "stays"), sz("1"));
    EXPECT_EQ(valueOf("Keep", "new"), std::string("\x10\0\0\0", 4));
    EXPECT_EQ(valueOf("New\\Deep\\Key", ""), sz("d"));
}

TEST_F(CommandTest, AMalformedFileChangesNothingAndNamesFileLineAndReason) {
    ok({"add", "HKLM\\Existing", "/v", "v", "/d", "before"});
    const auto before = snapshot(*store);
    // Every file starts with changes that would alter the store if a file
    // were applied line by line.
    const std::string v5 = "Windows Registry Editor Version 5.00\r\n";
    const std::string changes =
        "[-HKEY_LOCAL_MACHINE\\Existing]\r\n[HKEY_LOCAL_MACHINE\\New]\r\n\"a\"=\"b\"\r\n";
    const std::string h = v5 + changes;  // the next line is line 5
    static const std::string long256(256, 'k');
    static const std::string deep513 = [] {
        std::string levels;
        for (int i = 0; i <= vrk::reg::kMaxKeyDepth; ++i) levels += "\\k";
        return levels;
    }();
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"Windows Registry Editor Version 4.00\r\n" + changes,
         ":1: bad header: expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" on the "
         "first line"},
        {"\r\n" + h,
         ":1: bad header: expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" on the "
         "first line"},
        {h + "\"x\"=\"open\r\n", ":5: unterminated string (missing closing '\"')"},
        {h + "\"x\"=dword:123456789\r\n", ":5: dword value with more than 8 hex digits"},
        {h + "\"x\"=dword:0x12\r\n", ":5: dword value needs 1 to 8 hex digits (no 0x prefix)"},
        {h + "\"x\"=hex:01,2\r\n", ":5: hex bytes must have exactly two hex digits"},
        {h + "\"x\"=hex(2):41\r\n",
         ":5: string data in hex(2): UTF-16 text with an odd number of bytes"},
        {h + "\"x\"=hex:11,22,33,\\\r\n\\\r\n  44,55,66\r\n",
         ":6: a continuation line without hex bytes before its '\\'"},
        {h + "\"x\"=hex:11,\\\r\n  # note\r\n  22\r\n",
         ":6: a '#' comment line inside hex data continued with '\\'"},
        {h + "[\\Software\\x]\r\n", ":5: key name without a root (it must start with HKEY_...)"},
        {h + "[HKEY_LOCAL_MACHNE\\x]\r\n",
         ":5: unknown root \"HKEY_LOCAL_MACHNE\" (expected HKEY_LOCAL_MACHINE, "
         "HKEY_CURRENT_USER, HKEY_USERS or HKEY_CLASSES_ROOT)"},
        {h + "[ HKEY_LOCAL_MACHINE\\x]\r\n", ":5: white space after '[' in a key line"},
        {h + "[HKEY_LOCAL_MACHINE\\" + long256 + "]\r\n",
         ":5: key name longer than 255 characters"},
        {h + "[HKEY_LOCAL_MACHINE" + deep513 + "]\r\n",
         ":5: key more than 512 levels below its root"},
        {h + "\"x\"=\"y\" z\r\n", ":5: unexpected text after the value data"},
        {h + "\"x\"=dword:1 2\r\n", ":5: unexpected text after the value data"},
        {h + "\"x\"=hex:01 ff\r\n", ":5: unexpected text after the hex data"},
    };
    for (const auto& c : cases) {
        for (const bool wide : {false, true}) {
            writeFile(path("bad.reg"), wide ? utf16File(c.text) : c.text);
            EXPECT_EQ(run({"import", path("bad.reg")}), 1);
            EXPECT_EQ(err,
                      "vrkreg import: " + path("bad.reg") + c.message + "; nothing was imported\n")
                << (wide ? "UTF-16" : "8-bit");
            EXPECT_EQ(out, "");
            EXPECT_EQ(snapshot(*store), before) << c.message;
        }
    }
}

// Forms that people write and Windows' reg imports as it reads them: each
// body below a header and a key line, and the value "A" it gives.
TEST_F(CommandTest, ImportTakesTheFormsThatWindowsImports) {
    const std::string v1122 = "\x11\x22";
    const struct {
        const char* what;
        std::string body;
        std::string data;
        std::uint32_t type;
    } cases[] = {
        {"a comment after the continuation", "\"A\"=hex:11,22,\\;comment\r\n  33,44\r\n",
         "\x11\x22\x33\x44", vrk::reg::kRegBinary},
        {"# lines are comments",
         "#comment\r\n#comment\\\r\n#\"A\"=\"y\"\r\n  # \"A\"=\"z\"\r\n\"A\"=hex:11,22\r\n", v1122,
         vrk::reg::kRegBinary},
        {"a continuation on the last line", "\"A\"=hex:11,22,\\", v1122, vrk::reg::kRegBinary},
        {"a continuation before the end of the file", "\"A\"=hex:11,22,\\\r\n", v1122,
         vrk::reg::kRegBinary},
        {"blanks after dword:", "\"A\"=dword:  00000008\r\n", std::string("\x08\0\0\0", 4),
         vrk::reg::kRegDword},
        {"tabs around everything", "\t\"A\"\t=\tdword:\t00000008\t\r\n",
         std::string("\x08\0\0\0", 4), vrk::reg::kRegDword},
        {"blank lines inside a continuation", "\"A\"=hex:11,\\\r\n\r\n \t\r\n  22\r\n", v1122,
         vrk::reg::kRegBinary},
        {"a ; line inside a continuation", "\"A\"=hex:11,\\\r\n; note\r\n  22\r\n", v1122,
         vrk::reg::kRegBinary},
    };
    for (const auto& c : cases) {
        for (const bool wide : {false, true}) {
            const std::string text =
                "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\C]\r\n" + c.body;
            writeFile(path("in.reg"),
                      wide ? utf16File(text) : "REGEDIT4" + text.substr(text.find('\r')));
            ok({"import", path("in.reg")});
            std::uint32_t type = 0;
            EXPECT_EQ(valueOf("C", "A", &type), c.data) << c.what << (wide ? " (UTF-16)" : "");
            EXPECT_EQ(type, c.type) << c.what;
            ok({"delete", "HKLM\\C", "/f"});
        }
    }
}

// /skipbad applies a file as Windows' reg does: malformed lines are named
// and skipped, the rest applied as one batch.
TEST_F(CommandTest, SkipBadSkipsMalformedLinesAndAppliesTheRest) {
    const std::string file =
        "REGEDIT4\r\n"
        "[HKEY_LOCAL_MACHINE\\S]\r\n"
        "\"good1\"=\"1\"\r\n"
        "\"x\"=\"v\"#c\r\n"
        "\"bad\"=hex:1,2\r\n"
        "[ HKEY_LOCAL_MACHINE\\T]\r\n"
        "\"under\"=\"1\"\r\n"
        "[HKEY_LOCAL_MACHINE\\S\\Sub]\r\n"
        "\"open=\"1\r\n"
        "\"good2\"=dword:2\r\n";
    const auto before = snapshot(*store);
    writeFile(path("in.reg"), file);
    EXPECT_EQ(run({"import", path("in.reg")}), 1) << "without /skipbad the file is refused";
    EXPECT_EQ(snapshot(*store), before);

    EXPECT_EQ(run({"import", path("in.reg"), "/SkipBad"}), 2);
    const std::string f = "vrkreg import: " + path("in.reg");
    EXPECT_EQ(err, f + ":4: skipped: unexpected text after the value data\n" + f +
                       ":5: skipped: hex bytes must have exactly two hex digits\n" + f +
                       ":6: skipped: white space after '[' in a key line\n" + f +
                       ":7: skipped: value line below a key line that was skipped\n" + f +
                       ":9: skipped: expected '=' after the value name\n");
    EXPECT_EQ(out, "The rest of the file was imported; 5 lines were skipped.\n");
    EXPECT_EQ(valueOf("S", "good1"), sz("1"));
    EXPECT_EQ(valueOf("S\\Sub", "good2"), std::string("\x02\0\0\0", 4));
    EXPECT_EQ(valueOf("S", "x"), "<error 2>");
    EXPECT_EQ(valueOf("S", "bad"), "<error 2>");
    EXPECT_FALSE(keyExists(vrk::reg::kLocalMachine, "T"));

    // A header that only starts as one: Windows' reg applies nothing of it.
    for (const char* header : {"REGEDIT 4", "REGEDIT4 FOO"}) {
        writeFile(path("fuzzy.reg"), std::string(header) + "\r\n[HKEY_LOCAL_MACHINE\\F]\r\n");
        EXPECT_EQ(run({"import", path("fuzzy.reg")}), 1) << header;
        EXPECT_TRUE(contains(err, ":1: bad header")) << err;
        EXPECT_EQ(run({"import", path("fuzzy.reg"), "/skipbad"}), 2) << header;
        EXPECT_EQ(err, "vrkreg import: " + path("fuzzy.reg") + ":1: skipped: unknown header \"" +
                           header + "\": nothing of the file is applied\n");
        EXPECT_FALSE(keyExists(vrk::reg::kLocalMachine, "F"));
    }

    // Nothing skipped: success as without the option.
    writeFile(path("good.reg"), "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\G]\r\n\"v\"=\"1\"\r\n");
    EXPECT_EQ(run({"import", path("good.reg"), "/skipbad"}), 0);
    EXPECT_EQ(out, "The operation completed successfully.\n");
    EXPECT_EQ(err, "");

    // Still one batch: a failure of the store applies nothing.
    if (!vrk::reg::platformRegistryHasBatches()) GTEST_SKIP() << kNeedsBatches;
    ok({"delete", "HKLM\\S", "/f"});
    const auto again = snapshot(*store);
    faults.failCall(RegCall::setValueEx, 2, vrk::reg::kAccessDenied);
    EXPECT_EQ(run({"import", path("in.reg"), "/skipbad"}), 1);
    EXPECT_TRUE(contains(err, ":10: cannot set value \"good2\"")) << err;
    EXPECT_TRUE(contains(err, "nothing was imported")) << err;
    EXPECT_EQ(snapshot(*store), again);
}

// What Windows' reg import keeps and drops around hex data continued with
// '\' (Wine's reg tests, import.c): a line the data continues on is taken
// as data, so a value or key line there is lost with the value; a '#' line
// breaks the value off and the line after it stands on its own; a ','
// ending a line ends the data. /skipbad gives the same values.
TEST_F(CommandTest, SkipBadKeepsAndDropsWhatWindowsDoesAroundContinuedHexData) {
    writeFile(path("in.reg"),
              "REGEDIT4\n\n"
              "[HKEY_LOCAL_MACHINE\\C]\n"
              "\"a1\"=hex(2):4c,69,6e,65,20,\\\n"
              "\"a2\"=\"Test value\"\n"
              "\"b1\"=hex(2):4c,69,6e,65,20,\\\n"
              ";comment\n"
              "\"b2\"=\"Test value\"\n"
              "\"c1\"=hex(2):4c,69,6e,65,20,\\\n"
              "#comment\n"
              "\"c2\"=\"Test value\"\n"
              "\"d1\"=hex(2):4c,69,6e,65,20,\\\n"
              "\n"
              "\"d2\"=\"Test value\"\n"
              "\"e1\"=hex(2):4c,69,6e,65,20\\\n"
              "\"e2\"=\"Test value\"\n"
              "\"f1\"=hex(7):4c,69,6e,65,20,\\\n"
              "  63,6f,6e,63,61,74,\\\n"
              "  #comment\n"
              "  65,6e,\\;comment\n"
              "  61,74,69,6f,6e,00,00\n"
              "\"g1\"=hex(7):4c,69,6e,65,20,\\;comment\n"
              "  63,6f,6e,63,61,74,\n"
              "  65,6e,61,74,69,6f,6e,00,00\n"
              "\"h1\"=hex:11,22,\\\n"
              "\\\n"
              "  33\n"
              "\"i1\"=hex(2):4c,69,6e,65,20,\\\n"
              "[HKEY_LOCAL_MACHINE\\C\\Lost]\n");
    EXPECT_EQ(run({"import", path("in.reg"), "/skipbad"}), 2) << err;
    static const struct {
        const char* name;
        std::string data;  // empty: the value is not there
    } cases[] = {
        {"a1", ""}, {"a2", ""},
        {"b1", ""}, {"b2", ""},
        {"c1", ""}, {"c2", "Test value" + std::string(1, '\0')},
        {"d1", ""}, {"d2", ""},
        {"e1", ""}, {"e2", "Test value" + std::string(1, '\0')},
        {"f1", ""}, {"g1", std::string("Line concat\0", 12)},
        {"h1", ""}, {"i1", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valueOf("C", c.name), c.data.empty() ? "<error 2>" : c.data) << c.name;
    }
    EXPECT_FALSE(keyExists(vrk::reg::kLocalMachine, "C\\Lost"));
}

TEST_F(CommandTest, AFailureWhileApplyingRollsEverythingBack) {
    if (!vrk::reg::platformRegistryHasBatches()) GTEST_SKIP() << kNeedsBatches;
    ok({"add", "HKLM\\Existing", "/v", "v", "/d", "before"});
    const auto before = snapshot(*store);
    writeFile(path("in.reg"),
              "REGEDIT4\r\n"
              "[-HKEY_LOCAL_MACHINE\\Existing]\r\n"
              "[HKEY_LOCAL_MACHINE\\A]\r\n"
              "\"one\"=\"1\"\r\n"
              "\"two\"=\"2\"\r\n");
    faults.failCall(RegCall::setValueEx, 2, vrk::reg::kAccessDenied);
    EXPECT_EQ(run({"import", path("in.reg")}), 1);
    EXPECT_EQ(
        err,
        "vrkreg import: " + path("in.reg") +
            ":5: cannot set value \"two\" in HKEY_LOCAL_MACHINE\\A: error 5 (Access is denied.); "
            "nothing was imported\n");
    EXPECT_EQ(snapshot(*store), before);
}

// A store that refuses a call of the batch explains why (for example a key
// whose hive lives in another file than the batch's first hive); the import
// shows that explanation and leaves the store as it was.
TEST_F(CommandTest, TheStoresReasonForRefusingABatchIsShown) {
    if (!vrk::reg::platformRegistryHasBatches()) GTEST_SKIP() << kNeedsBatches;
    const auto before = snapshot(*store);
    struct Detailed : vrk::reg::ForwardingRegistry {
        using ForwardingRegistry::ForwardingRegistry;
        const char* lastFailureDetail() const override {
            return "a batch cannot span two store files";
        }
    } detailed(faults);
    writeFile(path("in.reg"),
              "REGEDIT4\r\n[HKEY_CLASSES_ROOT\\.x]\r\n@=\"1\"\r\n[HKEY_CURRENT_USER\\Y]\r\n");
    faults.failCall(RegCall::createKeyEx, 2, vrk::reg::kInvalidParameter);
    std::ostringstream o, e;
    EXPECT_EQ(runRegCommand({"import", path("in.reg")}, detailed, o, e), 1);
    EXPECT_EQ(e.str(), "vrkreg import: " + path("in.reg") +
                           ":4: cannot create HKEY_CURRENT_USER\\Y: error 87 (The parameter is "
                           "incorrect.); a batch "
                           "cannot span two store files; nothing was imported\n");
    EXPECT_EQ(snapshot(*store), before);
}

// When the store cannot roll a failed batch back, the message never claims
// that nothing was changed.
TEST_F(CommandTest, AFailedRollbackIsNotReportedAsNothingImported) {
    writeFile(path("in.reg"),
              "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"one\"=\"1\"\r\n\"two\"=\"2\"\r\n");
    faults.failCall(RegCall::setValueEx, 2, vrk::reg::kAccessDenied);
    faults.failCall(RegCall::rollbackBatch, 1, vrk::reg::kRegistryIoFailed);
    EXPECT_EQ(run({"import", path("in.reg")}), 1);
    EXPECT_EQ(err, "vrkreg import: " + path("in.reg") +
                       ":4: cannot set value \"two\" in HKEY_LOCAL_MACHINE\\A: error 5 (Access is "
                       "denied.); then the "
                       "store could not roll back the changes made before: error 1016 (An I/O "
                       "operation initiated "
                       "by the registry failed unrecoverably.): some of them may remain\n");
    store->rollbackBatch();
}

TEST_F(CommandTest, UnreadableFilesAreReported) {
    EXPECT_EQ(run({"import", path("missing.reg")}), 1);
    EXPECT_EQ(err, "vrkreg import: cannot read " + path("missing.reg") +
                       ": no such file; nothing was imported\n");
    EXPECT_EQ(run({"import", dir.path()}), 1);
    EXPECT_TRUE(contains(err, "it is a directory")) << err;
}

// A file in memory, read in small pieces, whose read number failAt (counted
// over both passes of an import) fails: with a read error or, with
// outOfMemory, as an allocation failure does.
class FailingInput : public RestartableSource {
public:
    FailingInput(std::string bytes, unsigned failAt, bool outOfMemory)
        : bytes_(std::move(bytes)), failAt_(failAt), outOfMemory_(outOfMemory) {}
    std::size_t read(char* buffer, std::size_t size) override {
        if (++reads_ == failAt_) {
            if (outOfMemory_) throw std::bad_alloc();
            throw ReadFailure("Input/output error");
        }
        const std::size_t n = std::min({size, std::size_t{100}, bytes_.size() - at_});
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }
    void restart() override { at_ = 0; }
    unsigned reads() const { return reads_; }

private:
    std::string bytes_;
    std::size_t at_ = 0;
    unsigned reads_ = 0;
    unsigned failAt_;
    bool outOfMemory_;
};

TEST_F(CommandTest, AFailedReadOrAllocationImportsNothing) {
    if (!vrk::reg::platformRegistryHasBatches()) GTEST_SKIP() << kNeedsBatches;
    ok({"add", "HKLM\\Existing", "/v", "v", "/d", "before"});
    const auto before = snapshot(*store);
    std::string file = "REGEDIT4\r\n[-HKEY_LOCAL_MACHINE\\Existing]\r\n";
    for (int i = 0; i < 50; ++i)
        file += "[HKEY_LOCAL_MACHINE\\New\\K" + std::to_string(i) + "]\r\n\"v\"=\"1\"\r\n";
    FailingInput count(file, 0, false);
    importRegFile(*store, count, "f.reg");
    const unsigned perPass = count.reads() / 2;
    ok({"delete", "HKLM\\New", "/f"});
    ok({"add", "HKLM\\Existing", "/v", "v", "/d", "before"});
    ASSERT_EQ(snapshot(*store), before);
    ASSERT_GT(perPass, 10u);

    // In the middle of the check pass, and of the pass that applies the file.
    for (const unsigned failAt : {perPass / 2, perPass + perPass / 2}) {
        for (const bool outOfMemory : {false, true}) {
            FailingInput input(file, failAt, outOfMemory);
            try {
                importRegFile(reg, input, "f.reg");
                ADD_FAILURE() << "the import succeeded";
            } catch (const CommandFailure& f) {
                EXPECT_EQ(std::string(f.what()),
                          outOfMemory
                              ? "cannot import f.reg: not enough memory; nothing was imported"
                              : "cannot read f.reg: Input/output error; nothing was imported");
            }
            EXPECT_EQ(snapshot(*store), before) << failAt;
            EXPECT_EQ(reg.openHandles(), 0u);
        }
    }
}

// ---- export ----------------------------------------------------------------

TEST_F(CommandTest, ExportWritesTheSubtreeInRegistryOrder) {
    ok({"add", "HKLM\\Software\\Example", "/ve", "/d", "default value"});
    ok({"add", "HKLM\\Software\\Example", "/v", "Count", "/t", "REG_DWORD", "/d", "42"});
    ok({"add", "HKLM\\Software\\Example\\b"});
    ok({"delete", "HKLM\\Software\\Example\\b", "/ve", "/f"});  // a key without values
    ok({"add", "HKLM\\Software\\Example\\A\\inner", "/v", "z", "/t", "REG_BINARY", "/d", "00"});
    ok({"export", "hklm\\Software\\Example", path("out.reg")});
    EXPECT_EQ(out, "The operation completed successfully.\n");
    EXPECT_EQ(readFile(path("out.reg")),
              utf16File("Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\Example]\r\n"
                        "@=\"default value\"\r\n"
                        "\"Count\"=dword:0000002a\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\Example\\A]\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\Example\\A\\inner]\r\n"
                        "\"z\"=hex:00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\Example\\b]\r\n\r\n"));

    // "-" writes the same bytes to standard output, with nothing else, after
    // asking for binary output; other commands never ask.
    int binaryRequests = 0;
    const std::function<void()> count = [&] { ++binaryRequests; };
    std::ostringstream o, e;
    EXPECT_EQ(runRegCommand({"export", "HKLM\\Software\\Example", "-"}, reg, o, e, count), 0);
    EXPECT_EQ(o.str(), readFile(path("out.reg")));
    EXPECT_EQ(binaryRequests, 1);
    EXPECT_EQ(runRegCommand({"query", "HKLM\\Software\\Example", "/s"}, reg, o, e, count), 0);
    EXPECT_EQ(runRegCommand({"export", "HKLM\\Software\\Example", path("out.reg"), "/y"}, reg, o, e,
                            count),
              0);
    EXPECT_EQ(binaryRequests, 1);
}

// The file Windows' reg export writes for a tree made with the registry
// calls (the expected bytes are those Wine's reg tests, export.c, hold for
// Windows): values in creation order, subkeys in the registry's order
// whatever their creation order, other types as hex(N), empty data, and
// text holding zeros written up to the first one.
TEST_F(CommandTest, ExportWritesWhatWindowsRegExportWrites) {
    const std::string z(1, '\0');
    const struct {
        const char* key;
        const char* name;
        std::uint32_t type;
        std::string data;  // as the store holds it
    } values[] = {
        {"W", "DWORD", vrk::reg::kRegDword, std::string("\x00\x01\x00\x00", 4)},
        {"W", "String", vrk::reg::kRegSz, "Your text here..." + z},
        {"W\\Subkey2a", "double\"quote", vrk::reg::kRegSz, "\"Hello, World!\"" + z},
        {"W\\Subkey2a", "single'quote", vrk::reg::kRegDword, std::string("\x08\0\0\0", 4)},
        {"W\\Subkey1", "Binary", vrk::reg::kRegBinary, "\x11\x22\x33\x44"},
        {"W\\Subkey1", "Undefined hex", 0x100, "%PATH%" + z},
        {"W\\Subkey2a\\Subkey2b", "", vrk::reg::kRegSz, "Default value name" + z},
        {"W\\Subkey2a\\Subkey2b", "Multiple strings", vrk::reg::kRegMultiSz,
         std::string("Line1\0Line2\0Line3\0\0", 19)},
        {"W\\Subkey3a", "Backslash", vrk::reg::kRegSz, "Use \\\\ to escape a backslash" + z},
        {"W\\Subkey3a\\Subkey3b\\Subkey3c", "String expansion", vrk::reg::kRegExpandSz,
         "%HOME%\\%PATH%" + z},
        {"W\\Subkey3a\\Subkey3b\\Subkey3c", "Zero data type", vrk::reg::kRegNone, "Value" + z},
        {"W\\Subkey4", "", vrk::reg::kRegDword, "\x78\x56\x34\x12"},
        {"W\\Subkey4", "43981", 0xabcd, "Value" + z},
        {"W\\Order", "Value 2", vrk::reg::kRegSz, "I was added first!" + z},
        {"W\\Order", "Value 1", vrk::reg::kRegSz, "I was added second!" + z},
        {"W\\Empty", "Wine1a", vrk::reg::kRegNone, ""},
        {"W\\Empty", "Wine1b", vrk::reg::kRegSz, ""},
        {"W\\Empty", "Wine1c", vrk::reg::kRegExpandSz, ""},
        {"W\\Empty", "Wine1d", vrk::reg::kRegBinary, ""},
        {"W\\Empty", "Wine1e", vrk::reg::kRegDword, ""},
        {"W\\Empty", "Wine1f", vrk::reg::kRegMultiSz, ""},
        {"W\\Empty", "Wine1g", 0x100, ""},
        {"W\\Empty", "Wine1h", 0xabcd, ""},
        {"W\\Nul", "Wine4b", vrk::reg::kRegSz, std::string(4, '\0')},
        {"W\\Nul", "Wine4d", vrk::reg::kRegSz, std::string("\0abc", 4)},
        {"W\\Nul", "Wine4f", vrk::reg::kRegSz, std::string("\0Value\0", 7)},
        {"W\\Nul", "Wine4h", vrk::reg::kRegSz, std::string("abc\0def\0", 8)},
    };
    for (const auto& v : values) {
        vrk::reg::Key k = vrk::reg::kNullKey;
        ASSERT_EQ(store->createKeyEx(vrk::reg::kCurrentUser, v.key, 0, vrk::reg::kKeyReadWrite, &k,
                                     nullptr),
                  vrk::reg::kSuccess);
        ASSERT_EQ(store->setValueEx(k, v.name, v.type,
                                    reinterpret_cast<const unsigned char*>(v.data.data()),
                                    static_cast<std::uint32_t>(v.data.size())),
                  vrk::reg::kSuccess);
        store->closeKey(k);
    }
    ok({"add", "HKCU\\W\\Subkey3a\\Subkey3b"});  // a key without values
    ok({"delete", "HKCU\\W\\Subkey3a\\Subkey3b", "/ve", "/f"});
    ok({"export", "HKEY_CURRENT_USER\\W", path("w.reg")});
    const std::string k = "[HKEY_CURRENT_USER\\W";
    // Values in the order they were made; Wine departs, listing them by name.
    const std::string order = vrk::reg::testing::windowsOrWine<std::string>(
        "\"Value 2\"=\"I was added first!\"\r\n"
        "\"Value 1\"=\"I was added second!\"\r\n",
        "\"Value 1\"=\"I was added second!\"\r\n"
        "\"Value 2\"=\"I was added first!\"\r\n");
    EXPECT_EQ(readFile(path("w.reg")),
              utf16File("Windows Registry Editor Version 5.00\r\n\r\n" + k +
                        "]\r\n"
                        "\"DWORD\"=dword:00000100\r\n"
                        "\"String\"=\"Your text here...\"\r\n\r\n" +
                        k +
                        "\\Empty]\r\n"
                        "\"Wine1a\"=hex(0):\r\n"
                        "\"Wine1b\"=\"\"\r\n"
                        "\"Wine1c\"=hex(2):\r\n"
                        "\"Wine1d\"=hex:\r\n"
                        "\"Wine1e\"=hex(4):\r\n"
                        "\"Wine1f\"=hex(7):\r\n"
                        "\"Wine1g\"=hex(100):\r\n"
                        "\"Wine1h\"=hex(abcd):\r\n\r\n" +
                        k +
                        "\\Nul]\r\n"
                        "\"Wine4b\"=\"\"\r\n"
                        "\"Wine4d\"=\"\"\r\n"
                        "\"Wine4f\"=\"\"\r\n"
                        "\"Wine4h\"=\"abc\"\r\n\r\n" +
                        k + "\\Order]\r\n" + order + "\r\n" + k +
                        "\\Subkey1]\r\n"
                        "\"Binary\"=hex:11,22,33,44\r\n"
                        "\"Undefined hex\"=hex(100):25,50,41,54,48,25,00\r\n\r\n" +
                        k +
                        "\\Subkey2a]\r\n"
                        "\"double\\\"quote\"=\"\\\"Hello, World!\\\"\"\r\n"
                        "\"single'quote\"=dword:00000008\r\n\r\n" +
                        k +
                        "\\Subkey2a\\Subkey2b]\r\n"
                        "@=\"Default value name\"\r\n"
                        "\"Multiple strings\"=hex(7):4c,00,69,00,6e,00,65,00,31,00,00,00,4c,00,"
                        "69,00,6e,\\\r\n"
                        "  00,65,00,32,00,00,00,4c,00,69,00,6e,00,65,00,33,00,00,00,00,00\r\n\r\n" +
                        k +
                        "\\Subkey3a]\r\n"
                        "\"Backslash\"=\"Use \\\\\\\\ to escape a backslash\"\r\n\r\n" +
                        k + "\\Subkey3a\\Subkey3b]\r\n\r\n" + k +
                        "\\Subkey3a\\Subkey3b\\Subkey3c]\r\n"
                        "\"String expansion\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,5c,00,"
                        "25,00,50,\\\r\n"
                        "  00,41,00,54,00,48,00,25,00,00,00\r\n"
                        "\"Zero data type\"=hex(0):56,61,6c,75,65,00\r\n\r\n" +
                        k +
                        "\\Subkey4]\r\n"
                        "@=dword:12345678\r\n"
                        "\"43981\"=hex(abcd):56,61,6c,75,65,00\r\n\r\n"));
}

TEST_F(CommandTest, ExportKeepsAnExistingFileUnlessToldToReplaceIt) {
    ok({"add", "HKLM\\E", "/v", "v", "/d", "1"});
    writeFile(path("out.reg"), "precious");
    EXPECT_EQ(run({"export", "HKLM\\E", path("out.reg")}), 1);
    EXPECT_EQ(err, "vrkreg export: cannot export to " + path("out.reg") +
                       ": the file exists (add /y to replace it)\n");
    EXPECT_EQ(readFile(path("out.reg")), "precious");

    ok({"export", "HKLM\\E", path("out.reg"), "/Y"});
    EXPECT_TRUE(parseRegFile(readFile(path("out.reg"))).ok);
    EXPECT_FALSE(std::filesystem::exists(path("out.reg") + ".vrkreg-partial"));
}

TEST_F(CommandTest, ExportFailuresWriteNoFile) {
    EXPECT_EQ(run({"export", "HKLM\\Missing", path("out.reg")}), 1);
    EXPECT_TRUE(contains(err, "cannot open HKEY_LOCAL_MACHINE\\Missing: error 2")) << err;
    EXPECT_FALSE(std::filesystem::exists(path("out.reg")));

    ok({"add", "HKLM\\E\\Sub", "/v", "v", "/d", "1"});
    writeFile(path("out.reg"), "precious");
    faults.failCall(RegCall::enumValue, 2, vrk::reg::kRegistryIoFailed);
    EXPECT_EQ(run({"export", "HKLM\\E", path("out.reg"), "/y"}), 1);
    EXPECT_TRUE(contains(err, "cannot read the values of HKEY_LOCAL_MACHINE\\E")) << err;
    EXPECT_EQ(readFile(path("out.reg")), "precious");

    EXPECT_EQ(run({"export", "HKLM\\E", path("no/such/dir/out.reg")}), 1);
    EXPECT_TRUE(contains(err, "cannot write " + path("no/such/dir/out.reg"))) << err;

    std::filesystem::create_directory(path("adir"));
    EXPECT_EQ(run({"export", "HKLM\\E", path("adir"), "/y"}), 1);
    EXPECT_EQ(err, "vrkreg export: cannot write " + path("adir") + ": it is a directory\n");
    EXPECT_TRUE(std::filesystem::is_empty(path("adir")));
}

// Names that another user could plant beside the target are never written
// through: the export's temporary file is a new file under a random name.
TEST_F(CommandTest, ExportNeverWritesThroughAPlantedLink) {
    ok({"add", "HKLM\\E", "/v", "v", "/d", "1"});
    writeFile(path("victim"), "precious");
    std::error_code noLinks;
    std::filesystem::create_symlink(path("victim"), path("out.reg.vrkreg-partial"), noLinks);
    if (noLinks) {
        GTEST_SKIP() << "no symbolic links can be made here (Wine; Windows without the right): "
                     << noLinks.message();
    }
    ok({"export", "HKLM\\E", path("out.reg")});
    EXPECT_EQ(readFile(path("victim")), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(path("out.reg")));
    EXPECT_TRUE(parseRegFile(readFile(path("out.reg"))).ok);
    // Nothing is left beside the target but the planted link.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().rfind("out.reg", 0) == 0)
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"out.reg", "out.reg.vrkreg-partial"}));
}

// Export, delete, import: the same keys, types and bytes come back.
TEST_F(CommandTest, ExportDeleteImportGivesBackTheSameContent) {
    vrk::reg::Key k = vrk::reg::kNullKey;
    ASSERT_EQ(store->createKeyEx(vrk::reg::kCurrentUser, "R\\K]ey [1]\\Caf\xC3\xA9 \xE9", 0,
                                 vrk::reg::kKeyReadWrite, &k, nullptr),
              vrk::reg::kSuccess);
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
    const struct {
        const char* name;
        std::uint32_t type;
        std::string data;
    } values[] = {
        // Text with its terminating zero, as import stores it.
        {"", vrk::reg::kRegSz, sz("default")},
        {"quote\" back\\ nl\n", vrk::reg::kRegSz, sz("v\"\\\r\n;=@")},
        {"zeros", vrk::reg::kRegBinary, std::string(40, '\0')},
        {"all", vrk::reg::kRegBinary, allBytes},
        // Every byte but zero, which would end the text in the export.
        {"allText", vrk::reg::kRegSz, sz(allBytes.substr(1))},
        {"latin1", vrk::reg::kRegExpandSz, sz("\xE9t\xE9")},
        {"multi", vrk::reg::kRegMultiSz, std::string("a\0\xC3\xA9\0\0", 6)},
        {"dw", vrk::reg::kRegDword, "\x01\x00\x00\x80"},
        {"odd dword", vrk::reg::kRegDword, "\x01"},
        {"none", vrk::reg::kRegNone, ""},
    };
    for (const auto& v : values) {
        ASSERT_EQ(store->setValueEx(k, v.name, v.type,
                                    reinterpret_cast<const unsigned char*>(v.data.data()),
                                    static_cast<std::uint32_t>(v.data.size())),
                  vrk::reg::kSuccess);
    }
    store->closeKey(k);
    ok({"add", "HKCU\\R\\empty\\child"});
    const auto before = snapshot(*store);

    ok({"export", "HKCU\\R", path("r.reg")});
    ok({"delete", "HKCU\\R"});
    EXPECT_FALSE(keyExists(vrk::reg::kCurrentUser, "R"));
    ok({"import", path("r.reg")});
    EXPECT_EQ(snapshot(*store), before);

    // And the export of the imported content is the same file.
    ok({"export", "HKCU\\R", "-"});
    EXPECT_EQ(out, readFile(path("r.reg")));
}

}  // namespace
}  // namespace vrk::regfile
