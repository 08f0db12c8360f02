// The rule of every file the programs write, on what a path may hold on
// Linux: a FIFO or a device written into and never replaced, a regular file
// replaced whole with its permissions (and, as root, its owner), links
// followed, a directory refused.
#include "platform/output_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/process.hpp"

namespace vrk::platform {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() /
                   ("vrk-output-" + std::to_string(currentProcessId()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const char* name) const { return (dir / name).string(); }

    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // Writes bytes to path through an OutputFile; "" or why it failed.
    static std::string writeWhole(const std::string& path, const std::string& bytes) {
        OutputFile out;
        if (!out.open(path)) return "open: " + out.why();
        if (!out.write(bytes.data(), bytes.size())) return "write: " + out.why();
        if (!out.commit()) return "commit: " + out.why();
        return "";
    }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
};

TEST_F(OutputFileTest, AFifoIsWrittenIntoAndStaysAFifo) {
    const std::string fifo = file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = read(fifo); });
    EXPECT_EQ(writeWhole(fifo, "through the pipe"), "");
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    EXPECT_EQ(fs::symlink_status(fifo).type(), fs::file_type::fifo);
    EXPECT_EQ(entries(), 1u) << "no file was left beside it";
}

// A link to /dev/null: the device is written into; neither it nor the link
// is replaced (were the link replaced, the test would see a regular file).
TEST_F(OutputFileTest, ADeviceIsWrittenIntoAndNeverReplaced) {
    const std::string link = file("null");
    fs::create_symlink("/dev/null", link);
    EXPECT_EQ(writeWhole(link, "gone"), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(OutputFileTest, AReplacedFileKeepsItsPermissionsAndALinkStaysALink) {
    const std::string target = file("secret");
    put(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    const std::string link = file("link");
    fs::create_symlink("secret", link);
    const bool root = ::geteuid() == 0;
    const uid_t owner = 4242;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), owner, owner), 0);
    }

    EXPECT_EQ(writeWhole(link, "new"), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read(target), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_uid, owner);
        EXPECT_EQ(st.st_gid, owner);
    }
    EXPECT_EQ(entries(), 2u);
}

TEST_F(OutputFileTest, ANewFileGetsTheUsualPermissions) {
    const mode_t old = ::umask(022);
    EXPECT_EQ(writeWhole(file("fresh"), "x"), "");
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(file("fresh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(OutputFileTest, WhatCannotBeWrittenIsRefusedAndLeftAsItIs) {
    fs::create_directory(dir / "adir");
    fs::create_symlink("loop", dir / "loop");
    const struct {
        const char* name;
        const char* why;
    } cases[] = {
        {"adir", "open: it is a directory"},
        {"loop", "open: it is a loop of symbolic links"},
    };
    for (const auto& c : cases) EXPECT_EQ(writeWhole(file(c.name), "x"), c.why) << c.name;
    EXPECT_TRUE(fs::is_empty(dir / "adir"));
    EXPECT_EQ(entries(), 2u);
}

// A new file that failed leaves the old one as it was and nothing beside it.
TEST_F(OutputFileTest, AnUncommittedFileLeavesTheOldOneAlone) {
    put(file("keep"), "precious");
    {
        OutputFile out;
        ASSERT_TRUE(out.open(file("keep")));
        ASSERT_TRUE(out.write("half", 4));
    }
    EXPECT_EQ(read(file("keep")), "precious");
    EXPECT_EQ(entries(), 1u);
}

TEST(KeepReplacedAttributes, GivesTheNewFileTheOldOnesPermissions) {
    const fs::path dir =
        fs::temp_directory_path() / ("vrk-keep-" + std::to_string(currentProcessId()));
    fs::create_directories(dir);
    const std::string old = (dir / "old").string(), fresh = (dir / "fresh").string();
    std::ofstream(old) << "o";
    std::ofstream(fresh) << "f";
    ASSERT_EQ(::chmod(old.c_str(), 0640), 0);
    std::string why;
    EXPECT_TRUE(keepReplacedAttributes(fresh, old, why)) << why;
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vrk::platform
