// The directory test and the file removal behind the steps, and the escaped
// value of the change report.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tool/vrkini/console_report.hpp"
#include "tool/vrkini/directory_status.hpp"
#include "platform/file_removal.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

class FileChecks : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = scratch_.path();
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override { fs::current_path(previous_); }
    vrk::testing::TempDir scratch_{"vrkini-files-"};
    std::string dir_;
    fs::path previous_;
};

TEST_F(FileChecks, ExistingDirectory) {
    fs::create_directory("sub");
    fs::create_directory("*");
    fs::create_directory("a?c");
    fs::create_directory("with blank");
    std::ofstream("file.txt") << "x";
    fs::create_directory_symlink("sub", "link");
    static const struct {
        const char* path;
        bool directory;
    } cases[] = {
        {".", true},        {"..", true},        {"sub", true},        {"./sub", true},
        {"sub/", true},     {"link", true},      {"with blank", true}, {"", false},
        {"missing", false}, {"file.txt", false}, {"*", false},         {"a?c", false},
        {"sub ", false},    {"sub\r", false},    {"/", true},          {"C:\\", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isExistingDirectory(c.path), c.directory) << "[" << c.path << "]";
    EXPECT_TRUE(isExistingDirectory(IString(dir_.c_str())));
}

TEST_F(FileChecks, RemoveFile) {
    std::ofstream("SV.INI") << "x";
    EXPECT_TRUE(vrk::platform::removePlainFile("SV.INI"));
    EXPECT_FALSE(fs::exists("SV.INI"));
    EXPECT_FALSE(vrk::platform::removePlainFile("SV.INI"));
    EXPECT_FALSE(vrk::platform::removePlainFile(""));
    EXPECT_FALSE(vrk::platform::removePlainFile(nullptr));

    fs::create_directory("emptydir");
    EXPECT_FALSE(vrk::platform::removePlainFile("emptydir"));
    EXPECT_TRUE(fs::exists("emptydir"));

    std::ofstream("readonly") << "x";
    ::chmod("readonly", 0444);
    EXPECT_FALSE(vrk::platform::removePlainFile("readonly"));
    EXPECT_TRUE(fs::exists("readonly"));
}

TEST(ConsoleReport, EscapedValue) {
    static const struct {
        const char* value;
        const char* shown;
    } cases[] = {
        {"", ""},
        {"NOC NOEXIT ADATA", "NOC NOEXIT ADATA"},
        {"\n", "\\x0A"},
        {".\n.\n", ".\\x0A.\\x0A"},
        {"a\r\nb", "a\r\\x0Ab"},
        {"\\x0A\n", "\\x0A\\x0A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IString(escapedValue(c.value)), IString(c.shown)) << c.value;
}

}  // namespace
