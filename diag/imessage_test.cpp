// Library messages: the default catalog, "TORQA MSGFILE", missing modules
// and messages, and the substitution of inserts.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "diag/iexc.hpp"
#include "diag/imessage.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

// The module name is read once per process: keep a user's setting out of
// the tests that use the default catalog.
const bool moduleVariableCleared = (unsetenv("TORQA MSGFILE"), true);

const char kUnavailable[] = "Unable to load text from message file.";

using ScratchDir = vrk::testing::TempDir;

// Compiles source into <dir>/<name>.cat with gencat (which the build
// requires); "" when that fails.
std::string compileCatalog(const std::string& dir, const char* name, const std::string& source) {
    std::string msg = dir + "/" + name + ".msg";
    std::string cat = dir + "/" + name + ".cat";
    std::ofstream(msg) << source;
    std::string command = "gencat '" + cat + "' '" + msg + "' 2>/dev/null";
    return std::system(command.c_str()) == 0 ? cat : "";
}

std::string testCatalogSource() {
    return "$set 1\n"
           "1 %1 and %2\n"
           "2 %2 before %1\n"
           "3 %1%1\n"
           "4 100%% sure\n"
           "5 [%3]\n"
           "6 ends with crlf\\r\\n\n"
           "7 only lf\\n\n"
           "8 " +
           std::string(3000, 'x') +
           "\n"
           "9 all nine: %1%2%3%4%5%6%7%8%9\n"
           "10 %10\n"
           "11 middle\\r\\nline\n"
           "$set 2\n"
           "370 collection text\n";
}

// Runs the body in a process of its own (re-started, so the module name is
// looked up afresh); its failures are printed there and fail the test.
[[noreturn]] void runAndExit(const std::function<void()>& body) {
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter intercept(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        body();
    }
    bool failed = false;
    for (int i = 0; i < results.size(); ++i) {
        const ::testing::TestPartResult& r = results.GetTestPartResult(i);
        if (!r.failed()) continue;
        failed = true;
        std::fprintf(stderr, "%s:%d: %s\n", r.file_name() ? r.file_name() : "?", r.line_number(),
                     r.message());
    }
    std::fflush(nullptr);
    std::_Exit(failed ? 1 : 0);
}

#define RUN_IN_FRESH_PROCESS(...)                                        \
    do {                                                                 \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                  \
        auto body = [&]() __VA_ARGS__;                                   \
        EXPECT_EXIT(runAndExit(body), ::testing::ExitedWithCode(0), ""); \
    } while (0)

TEST(LibraryMessageTest, DefaultCatalogTexts) {
    EXPECT_STREQ(ILibraryMessage(1, "a != b").text(), "A required condition is not met: a != b");
    EXPECT_STREQ(ILibraryMessage(4).text(), "There is not enough memory to complete the request.");
    EXPECT_STREQ(ILibraryMessage(51).text(),
                 "The result would be longer than the largest length a string can hold.");
    EXPECT_STREQ(ILibraryMessage(52).text(), "The position is outside the string.");
    ILibraryMessage m(52);
    EXPECT_STREQ(static_cast<const char*>(m), m.text());
}

TEST(LibraryMessageTest, MissingMessageGivesTheFallbackText) {
    EXPECT_STREQ(ILibraryMessage(2).text(), kUnavailable);
    EXPECT_STREQ(ILibraryMessage(0).text(), kUnavailable);
    EXPECT_STREQ(ILibraryMessage(0xFFFFFFFFul).text(), kUnavailable);
    EXPECT_STREQ(ILibraryMessage(370).text(), kUnavailable);  // a collection text, other set
}

TEST(LibraryMessageTest, DefaultModuleSitsBesideTheProgram) {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = '\0';
    std::string dir(exe);
    dir.erase(dir.rfind('/'));
    EXPECT_EQ(std::string(vrk::diag::messageModuleName()), dir + "/../share/vrk/vrkmsg.cat");
    EXPECT_EQ(vrk::diag::messageModuleName(), vrk::diag::messageModuleName());
}

TEST(LibraryMessageTest, CollectionSetHoldsTheCollectionTexts) {
    const char* const none[9] = {};
    char text[64];
    ASSERT_TRUE(
        vrk::diag::loadMessage(vrk::diag::kCollectionMessages, 384, none, text, sizeof text));
    EXPECT_STREQ(text, "cyclic child attachment");
    EXPECT_FALSE(
        vrk::diag::loadMessage(vrk::diag::kCollectionMessages, 999, none, text, sizeof text));
    EXPECT_STREQ(text, "");
    // A small buffer cuts the text.
    char small[7];
    ASSERT_TRUE(
        vrk::diag::loadMessage(vrk::diag::kCollectionMessages, 384, none, small, sizeof small));
    EXPECT_STREQ(small, "cyclic");
}

TEST(LibraryMessageTest, MissingModuleGivesTheFallbackText) {
    RUN_IN_FRESH_PROCESS({
        setenv("TORQA MSGFILE", "/nonexistent/dir/vrkmsg.cat", 1);
        EXPECT_STREQ(vrk::diag::messageModuleName(), "/nonexistent/dir/vrkmsg.cat");
        EXPECT_STREQ(ILibraryMessage(1, "x").text(), kUnavailable);
        EXPECT_STREQ(ILibraryMessage(4).text(), kUnavailable);
    });
}

TEST(LibraryMessageTest, ModuleThatIsNotACatalog) {
    RUN_IN_FRESH_PROCESS({
        ScratchDir dir;
        ASSERT_FALSE(dir.path().empty());
        std::string bogus = dir.path() + "/bogus.cat";
        std::ofstream(bogus) << "not a message catalog at all\n";
        setenv("TORQA MSGFILE", bogus.c_str(), 1);
        EXPECT_STREQ(ILibraryMessage(4).text(), kUnavailable);
    });
}

TEST(LibraryMessageTest, OnlyTheFormWithABlankNamesTheModule) {
    RUN_IN_FRESH_PROCESS({
        setenv("TORQA_MSGFILE", "/nonexistent/dir/vrkmsg.cat", 1);
        EXPECT_STREQ(ILibraryMessage(52).text(), "The position is outside the string.");
    });
}

TEST(LibraryMessageTest, NameIsReadOnceAndKept) {
    RUN_IN_FRESH_PROCESS({
        EXPECT_STREQ(ILibraryMessage(52).text(), "The position is outside the string.");
        setenv("TORQA MSGFILE", "/nonexistent/dir/vrkmsg.cat", 1);
        EXPECT_STREQ(ILibraryMessage(52).text(), "The position is outside the string.");
    });
}

TEST(LibraryMessageTest, InsertsAreSubstituted) {
    RUN_IN_FRESH_PROCESS({
        ScratchDir dir;
        ASSERT_FALSE(dir.path().empty());
        std::string catalog = compileCatalog(dir.path(), "inserts", testCatalogSource());
        ASSERT_FALSE(catalog.empty()) << "gencat could not compile the test catalog";
        setenv("TORQA MSGFILE", catalog.c_str(), 1);
        const struct {
            unsigned long id;
            const char* inserts[9];
            std::string expected;
        } cases[] = {
            {1, {"a", "b"}, "a and b"},
            {2, {"a", "b"}, "b before a"},
            {3, {"x"}, "xx"},
            {4, {}, "100% sure"},
            {5, {"a", "b"}, "[%3]"},           // no third insert: left as it is
            {5, {"a", nullptr, "c"}, "[%3]"},  // the list ends at the first null
            {1, {"%2", "b"}, "%2 and b"},      // an insert is not substituted again
            {1, {"", ""}, " and "},
            {6, {}, "ends with crlf"},
            {7, {}, "only lf"},
            {11, {}, "middle\r\nline"},
            {9, {"1", "2", "3", "4", "5", "6", "7", "8", "9"}, "all nine: 123456789"},
            {10, {"A"}, "A0"},
            {8, {}, std::string(2047, 'x')},
            {12, {}, kUnavailable},
        };
        for (const auto& c : cases) {
            ILibraryMessage m(c.id, c.inserts[0], c.inserts[1], c.inserts[2], c.inserts[3],
                              c.inserts[4], c.inserts[5], c.inserts[6], c.inserts[7], c.inserts[8]);
            EXPECT_EQ(std::string(m.text()), c.expected) << "message " << c.id;
        }
        // A long insert is cut at the buffer's end.
        std::string longInsert(4000, 'y');
        EXPECT_EQ(std::string(ILibraryMessage(3, longInsert.c_str()).text()),
                  std::string(2047, 'y'));
    });
}

TEST(LibraryMessageTest, RelativeModuleNameIsAFileInTheWorkingDirectory) {
    RUN_IN_FRESH_PROCESS({
        ScratchDir dir;
        ASSERT_FALSE(dir.path().empty());
        ASSERT_FALSE(compileCatalog(dir.path(), "rel", testCatalogSource()).empty())
            << "gencat could not compile the test catalog";
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        setenv("TORQA MSGFILE", "rel.cat", 1);
        EXPECT_STREQ(ILibraryMessage(3, "z").text(), "zz");
        ASSERT_EQ(chdir("/"), 0);
    });
}

TEST(LibraryMessageTest, CollectionTextsComeFromTheNamedModule) {
    RUN_IN_FRESH_PROCESS({
        ScratchDir dir;
        ASSERT_FALSE(dir.path().empty());
        std::string catalog = compileCatalog(dir.path(), "coll", testCatalogSource());
        ASSERT_FALSE(catalog.empty()) << "gencat could not compile the test catalog";
        setenv("TORQA MSGFILE", catalog.c_str(), 1);
        IException::setReporter(nullptr);
        ::testing::internal::CaptureStderr();
        try {
            IChildAlreadyExistsException::throwIt(370, "f", 1);
        } catch (const IException& e) {
            EXPECT_STREQ(e.textWithIndex(0), "collection text");
        }
        try {
            IChildAlreadyExistsException::throwIt(371, "f", 1);  // not in this module
        } catch (const IException& e) {
            EXPECT_STREQ(e.textWithIndex(0), "collection is empty");
        }
        ::testing::internal::GetCapturedStderr();
    });
}

}  // namespace
