// The hive backend: the empty hive we write, where keys of a Windows image
// land, the 32-bit view, commits (when, atomic, one writer) and damaged
// hives.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "registry/hive/hive_test_support.hpp"

namespace vrk::reg::hive {
namespace {

using testing::fileBytes;
using testing::Image;
using testing::Peek;
using vrk::reg::testing::TempDir;

long createKey(Registry& r, Key parent, const char* path) {
    Key k = kNullKey;
    long rc = r.createKeyEx(parent, path, 0, kKeyReadWrite, &k, nullptr);
    if (rc == kSuccess) r.closeKey(k);
    return rc;
}

long setText(Registry& r, Key parent, const char* path, const char* name, const std::string& text) {
    Key k = kNullKey;
    long rc = r.createKeyEx(parent, path, 0, kKeyReadWrite, &k, nullptr);
    if (rc != kSuccess) return rc;
    rc = r.setValueEx(k, name, kRegSz, reinterpret_cast<const unsigned char*>(text.data()),
                      static_cast<std::uint32_t>(text.size()));
    r.closeKey(k);
    return rc;
}

std::string text(Registry& r, Key parent, const char* path, const char* name) {
    Key k = kNullKey;
    if (long rc = r.openKeyEx(parent, path, kKeyRead, &k))
        return "<error " + std::to_string(rc) + ">";
    char buf[256];
    std::uint32_t size = sizeof buf;
    long rc = r.queryValueEx(k, name, nullptr, reinterpret_cast<unsigned char*>(buf), &size);
    r.closeKey(k);
    if (rc != kSuccess) return "<error " + std::to_string(rc) + ">";
    return std::string(buf, size);
}

TEST(HiveEmpty, HivexOpensItWithAnEmptyRoot) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(writeEmptyHive(dir.file("h"), "ROOT", &error)) << error;
    EXPECT_EQ(fileBytes(dir.file("h")).size(), 8192u);
    Peek p(dir.file("h"));
    ASSERT_TRUE(p.ok());
    EXPECT_TRUE(p.children("").empty());
}

TEST(HiveImageLayout, KeysLandInTheHiveBehindThem) {
    Image image;
    auto reg = image.open(true);
    static const struct {
        Key root;
        const char* path;
        long expected;
    } cases[] = {
        {kLocalMachine, "Software\\Vendor", kSuccess},
        {kLocalMachine, "SYSTEM\\ControlSet001", kSuccess},  // any letter case
        {kCurrentUser, "Software\\Mine", kSuccess},
        {kLocalMachine, "Hardware\\X", kFileNotFound},  // no hive behind it
        {kLocalMachine, "Other", kFileNotFound},
        {kUsers, ".DEFAULT", kFileNotFound},
        {kClassesRoot, ".txt", kFileNotFound},
    };
    for (const auto& c : cases) EXPECT_EQ(createKey(*reg, c.root, c.path), c.expected) << c.path;
    char name[64];
    EXPECT_EQ(reg->enumKey(kLocalMachine, 0, name, sizeof name), kSuccess);
    EXPECT_STREQ(name, "Software");
    EXPECT_EQ(reg->enumKey(kLocalMachine, 1, name, sizeof name), kSuccess);
    EXPECT_STREQ(name, "System");
    EXPECT_EQ(reg->enumKey(kLocalMachine, 2, name, sizeof name), kNoMoreItems);
    EXPECT_EQ(reg->enumKey(kUsers, 0, name, sizeof name), kFileNotFound);
    EXPECT_EQ(reg->deleteKey(kLocalMachine, "Software"), kAccessDenied);
    reg.reset();  // commits
    EXPECT_EQ(Peek(image.software).children(""), std::vector<std::string>{"Vendor"});
    EXPECT_EQ(Peek(image.system).children(""), std::vector<std::string>{"ControlSet001"});
    EXPECT_EQ(Peek(image.ntuser).children("Software"), std::vector<std::string>{"Mine"});
}

TEST(HiveImageLayout, NoUserHiveMeansNoCurrentUser) {
    Image image;
    auto reg = image.open(false);
    EXPECT_EQ(createKey(*reg, kCurrentUser, "Software"), kFileNotFound);
    Key k = kNullKey;
    EXPECT_EQ(reg->openKeyEx(kCurrentUser, "Software", kKeyRead, &k), kFileNotFound);
}

TEST(HiveImageLayout, AMissingHiveFileGivesFileNotFound) {
    Image image;
    ASSERT_EQ(::unlink(image.system.c_str()), 0);
    auto reg = image.open();
    EXPECT_EQ(createKey(*reg, kLocalMachine, "System\\X"), kFileNotFound);
    EXPECT_EQ(createKey(*reg, kLocalMachine, "Software\\X"), kSuccess);
}

TEST(HiveImageLayout, SoftwareIsThe32BitViewWhenTheImageHasOne) {
    Image image;
    {
        // A 64-bit image: Wow6432Node at the top of SOFTWARE.
        HiveRegistry whole({HiveMount{kLocalMachine, "", image.software, false}});
        ASSERT_EQ(createKey(whole, kLocalMachine, "Wow6432Node"), kSuccess);
        ASSERT_EQ(createKey(whole, kLocalMachine, "Native"), kSuccess);
    }
    {
        auto reg = image.open();
        ASSERT_EQ(setText(*reg, kLocalMachine, "Software\\SV.INI", "Data", "x"), kSuccess);
        Key k = kNullKey;
        EXPECT_EQ(reg->openKeyEx(kLocalMachine, "Software\\Native", kKeyRead, &k), kFileNotFound);
    }
    Peek p(image.software);
    EXPECT_EQ(p.children("Wow6432Node"), std::vector<std::string>{"SV.INI"});
    EXPECT_EQ(p.node("SV.INI"), 0u);
}

TEST(HiveStrings, AreUtf16InTheFileAndTheirBytesToCallers) {
    Image image;
    const std::string value("caf\xC3\xA9 \xE9\0", 8);  // UTF-8, a lone Latin-1 byte, a zero
    {
        auto reg = image.open();
        ASSERT_EQ(setText(*reg, kLocalMachine, "Software\\S", "v", value), kSuccess);
        EXPECT_EQ(text(*reg, kLocalMachine, "Software\\S", "v"), value);
    }
    EXPECT_EQ(Peek(image.software).raw("S", "v"),
              std::string("c\0a\0f\0\xE9\0 \0\xE9\xDC\0\0", 14));
    auto again = image.open();
    EXPECT_EQ(text(*again, kLocalMachine, "Software\\S", "v"), value);
}

TEST(HiveNames, ThatAreNotUtf8AreRefused) {
    Image image;
    auto reg = image.open();
    EXPECT_EQ(createKey(*reg, kLocalMachine, "Software\\\xE4rger"), kInvalidParameter);
    EXPECT_EQ(setText(*reg, kLocalMachine, "Software",
                      "Gr\xF6\xDF"
                      "e",
                      "x"),
              kInvalidParameter);
    EXPECT_EQ(createKey(*reg, kLocalMachine, "Software\\\xC3\xA4rger"), kSuccess);
}

TEST(HiveNames, NewKeysHaveWindowsNameFormsAndListHashes) {
    // A name whose characters fit in Latin-1 is kept one byte a character
    // (flag 0x20), others as UTF-16; the root's lh list is in Windows' order
    // with Windows' hash of each name: h = h * 37 + the upper-cased unit.
    Image image;
    {
        auto reg = image.open();
        for (const char* name :
             {"Software\\\xE6\x97\xA5\xE6\x9C\xAC", "Software\\a\xC3\xB6", "Software\\ab"}) {
            ASSERT_EQ(createKey(*reg, kLocalMachine, name), kSuccess) << name;
        }
    }
    const std::string b = fileBytes(image.software);
    const auto u16 = [&](std::size_t at) {
        return unsigned(static_cast<unsigned char>(b[at])) |
               unsigned(static_cast<unsigned char>(b[at + 1])) << 8;
    };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::size_t root = 0x1000 + u32(0x24) + 4;
    ASSERT_EQ(b.substr(root, 2), "nk");
    ASSERT_EQ(u32(root + 0x14), 3u);
    const std::size_t list = 0x1000 + u32(root + 0x1C) + 4;
    ASSERT_EQ(b.substr(list, 2), "lh");
    ASSERT_EQ(u16(list + 2), 3u);
    static const struct {
        unsigned hash;
        unsigned flags;
        std::string name;
    } expected[] = {
        {'A' * 37 + 'B', 0x20, "ab"},
        {'A' * 37 + 0xD6, 0x20, "a\xF6"},
        {0x65E5 * 37 + 0x672C, 0, std::string("\xE5\x65\x2C\x67", 4)},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(u32(list + 8 + 8 * i), expected[i].hash);
        const std::size_t nk = 0x1000 + u32(list + 4 + 8 * i) + 4;
        ASSERT_EQ(b.substr(nk, 2), "nk");
        EXPECT_EQ(u16(nk + 2) & 0x20, expected[i].flags);
        EXPECT_EQ(b.substr(nk + 0x4C, u16(nk + 0x48)), expected[i].name);
        EXPECT_EQ(u32(nk + 0x10), u32(0x24));  // the parent
    }
    EXPECT_EQ(u32(root + 0x34) & 0xFFFF, 4u);  // the longest name, in UTF-16 bytes
    Peek p(image.software);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.children(""),
              (std::vector<std::string>{"ab", "a\xC3\xB6", "\xE6\x97\xA5\xE6\x9C\xAC"}));
}

TEST(HiveValues, LargestValueHivexWrites) {
    Image image;
    auto reg = image.open();
    Key k = kNullKey;
    ASSERT_EQ(reg->createKeyEx(kLocalMachine, "Software\\Big", 0, kKeyReadWrite, &k, nullptr),
              kSuccess);
    std::string big(kMaxValueBytes + 1, 'b');
    const auto* data = reinterpret_cast<const unsigned char*>(big.data());
    EXPECT_EQ(reg->setValueEx(k, "v", kRegBinary, data, kMaxValueBytes + 1), kNotEnoughMemory);
    EXPECT_NE(std::string(reg->lastFailureDetail()), "");
    EXPECT_EQ(reg->setValueEx(k, "v", kRegBinary, data, kMaxValueBytes), kSuccess);
    std::uint32_t size = 0;
    EXPECT_EQ(reg->queryValueEx(k, "v", nullptr, nullptr, &size), kSuccess);
    EXPECT_EQ(size, kMaxValueBytes);
    reg->closeKey(k);
}

TEST(HiveValues, AnyTypeNumberRoundTrips) {
    Image image;
    for (std::uint32_t type : {0u, 11u, 12u, 0x12345678u, 0xFFFFFFFFu}) {
        {
            auto reg = image.open();
            Key k = kNullKey;
            ASSERT_EQ(reg->createKeyEx(kLocalMachine, "Software\\T", 0, kKeyReadWrite, &k, nullptr),
                      kSuccess);
            ASSERT_EQ(
                reg->setValueEx(k, "v", type, reinterpret_cast<const unsigned char*>("ab"), 2),
                kSuccess);
            reg->closeKey(k);
        }
        auto reg = image.open();
        Key k = kNullKey;
        ASSERT_EQ(reg->openKeyEx(kLocalMachine, "Software\\T", kKeyRead, &k), kSuccess);
        std::uint32_t got = 0, size = 0;
        EXPECT_EQ(reg->queryValueEx(k, "v", &got, nullptr, &size), kSuccess);
        EXPECT_EQ(got, type);
        EXPECT_EQ(size, 2u);
        reg->closeKey(k);
    }
}

TEST(HiveCommits, ChangesReachTheFileAtFlushAndAtTheEndNotAtBatches) {
    Image image;
    const std::string before = fileBytes(image.software);
    auto reg = image.open();
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\A"), kSuccess);
    EXPECT_EQ(fileBytes(image.software), before) << "not written before a flush";
    ASSERT_EQ(reg->flush(), kSuccess);
    EXPECT_EQ(Peek(image.software).children(""), std::vector<std::string>{"A"});
    // The registry layer's flush (RegFlushKey) commits as well.
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\A0"), kSuccess);
    EXPECT_EQ(reg->flushKey(kNullKey), kInvalidHandle);
    ASSERT_EQ(reg->flushKey(kLocalMachine), kSuccess);
    EXPECT_EQ(Peek(image.software).children(""), (std::vector<std::string>{"A", "A0"}));
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\B"), kSuccess);
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\C"), kSuccess);
    ASSERT_EQ(reg->commitBatch(), kSuccess);
    EXPECT_EQ(Peek(image.software).children(""), (std::vector<std::string>{"A", "A0"}))
        << "a batch is not a write: the run's end is";
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\D"), kSuccess);
    reg.reset();
    EXPECT_EQ(Peek(image.software).children("").size(), 5u);
    EXPECT_FALSE(::access((image.software + ".vrk-new").c_str(), F_OK) == 0);
}

TEST(HiveCommits, TheNewFileKeepsTheOldOnesPermissions) {
    Image image;
    ASSERT_EQ(::chmod(image.software.c_str(), 0600), 0);
    ASSERT_EQ(createKey(*image.open(), kLocalMachine, "Software\\A"), kSuccess);
    struct stat st {};
    ASSERT_EQ(::stat(image.software.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(HiveCommits, AForkedChildDoesNotCommitTheParentsChanges) {
    Image image;
    const std::string before = fileBytes(image.software);
    auto reg = image.open();
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\A"), kSuccess);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        reg.reset();
        ::_exit(fileBytes(image.software) == before ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    reg.reset();
    EXPECT_EQ(Peek(image.software).children(""), std::vector<std::string>{"A"});
}

TEST(HiveCommits, RollbackDropsTheBatchAndItsKeys) {
    Image image;
    auto reg = image.open();
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\Kept"), kSuccess);
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    Key made = kNullKey;
    ASSERT_EQ(
        reg->createKeyEx(kLocalMachine, "Software\\Dropped", 0, kKeyReadWrite, &made, nullptr),
        kSuccess);
    ASSERT_EQ(setText(*reg, kLocalMachine, "Software\\Kept", "v", "x"), kSuccess);
    ASSERT_EQ(reg->rollbackBatch(), kSuccess);
    char name[32];
    EXPECT_EQ(reg->enumKey(made, 0, name, sizeof name), kKeyDeleted);
    EXPECT_EQ(reg->closeKey(made), kSuccess);
    EXPECT_EQ(text(*reg, kLocalMachine, "Software\\Kept", "v"), "<error 2>");
    Key k = kNullKey;
    EXPECT_EQ(reg->openKeyEx(kLocalMachine, "Software\\Kept", kKeyRead, &k), kSuccess);
    reg->closeKey(k);
    EXPECT_EQ(reg->openKeyEx(kLocalMachine, "Software\\Dropped", kKeyRead, &k), kFileNotFound);
}

void killAtCommit(const char*) { ::raise(SIGKILL); }

TEST(HiveCommits, ARollbackAfterAFlushReadsTheFileAndItsKeysAgain) {
    // Keys made before a flush stay in our own tree; a batch that is the
    // first change after the flush is undone by reading the file again, where
    // those keys now are: handles to them are stale, never a crash, and the
    // keys are found by name.
    Image image;
    auto reg = image.open();
    Key before = kNullKey;
    ASSERT_EQ(reg->createKeyEx(kLocalMachine, "Software\\Flushed\\Sub", 0, kKeyReadWrite, &before,
                               nullptr),
              kSuccess);
    ASSERT_EQ(setText(*reg, kLocalMachine, "Software\\Flushed", "v", "x"), kSuccess);
    ASSERT_EQ(reg->flush(), kSuccess);
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    ASSERT_EQ(createKey(*reg, kLocalMachine, "Software\\Flushed\\Dropped"), kSuccess);
    ASSERT_EQ(reg->rollbackBatch(), kSuccess);
    char name[32];
    EXPECT_EQ(reg->enumKey(before, 0, name, sizeof name), kKeyDeleted);
    EXPECT_EQ(reg->setValueEx(before, "w", kRegBinary, nullptr, 0), kKeyDeleted);
    EXPECT_EQ(reg->closeKey(before), kSuccess);
    EXPECT_EQ(text(*reg, kLocalMachine, "Software\\Flushed", "v"), "x");
    Key k = kNullKey;
    ASSERT_EQ(reg->openKeyEx(kLocalMachine, "Software\\Flushed", kKeyRead, &k), kSuccess);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; reg->enumKey(k, i, name, sizeof name) == kSuccess; ++i)
        names.push_back(name);
    reg->closeKey(k);
    EXPECT_EQ(names, std::vector<std::string>{"Sub"});
}

TEST(HiveCommits, AKilledCommitLeavesTheOldHive) {
    Image image;
    {
        auto reg = image.open();
        ASSERT_EQ(setText(*reg, kLocalMachine, "Software\\Before", "v", "old"), kSuccess);
    }
    const std::string before = fileBytes(image.software);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setCommitHookForTesting(killAtCommit);
        auto reg = image.open();
        setText(*reg, kLocalMachine, "Software\\Before", "v", "new");
        createKey(*reg, kLocalMachine, "Software\\After");
        reg->flush();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "killed at the commit";
    EXPECT_EQ(fileBytes(image.software), before);
    auto reg = image.open();
    EXPECT_EQ(text(*reg, kLocalMachine, "Software\\Before", "v"), "old");
    ASSERT_EQ(setText(*reg, kLocalMachine, "Software\\Before", "v", "again"), kSuccess);
    ASSERT_EQ(reg->flush(), kSuccess);
    EXPECT_EQ(text(*image.open(), kLocalMachine, "Software\\Before", "v"), "again");
}

TEST(HiveWriters, ASecondWriterIsRefusedWithAReason) {
    Image image;
    auto first = image.open();
    auto second = image.open();
    ASSERT_EQ(createKey(*first, kLocalMachine, "Software\\One"), kSuccess);
    EXPECT_EQ(createKey(*second, kLocalMachine, "Software\\Two"), kAccessDenied);
    EXPECT_NE(std::string(second->lastFailureDetail()).find("another process"), std::string::npos)
        << second->lastFailureDetail();
    // Reading is fine meanwhile.
    Key k = kNullKey;
    EXPECT_EQ(second->openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kSuccess);
    second->closeKey(k);
}

TEST(HiveWriters, AWriterThatReadAnOlderHiveIsRefused) {
    Image image;
    auto late = image.open();
    Key k = kNullKey;
    ASSERT_EQ(late->openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kSuccess);  // reads it
    late->closeKey(k);
    {
        auto first = image.open();
        ASSERT_EQ(createKey(*first, kLocalMachine, "Software\\One"), kSuccess);
    }  // committed and unlocked
    EXPECT_EQ(createKey(*late, kLocalMachine, "Software\\Two"), kAccessDenied);
    EXPECT_NE(std::string(late->lastFailureDetail()).find("changed by another process"),
              std::string::npos);
    late.reset();
    EXPECT_EQ(Peek(image.software).children(""), std::vector<std::string>{"One"});
}

TEST(HiveDamaged, AreReportedAndNeverWritten) {
    static const char* const contents[] = {"", "not a hive at all", "regf"};
    for (const char* content : contents) {
        Image image;
        {
            std::ofstream out(image.software, std::ios::binary | std::ios::trunc);
            out << content;
        }
        const std::string before = fileBytes(image.software);
        {
            auto reg = image.open();
            EXPECT_EQ(createKey(*reg, kLocalMachine, "Software\\X"), kBadDb) << content;
            EXPECT_NE(std::string(reg->lastFailureDetail()).find(image.software),
                      std::string::npos);
            Key k = kNullKey;
            EXPECT_EQ(reg->openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kBadDb);
            EXPECT_EQ(createKey(*reg, kLocalMachine, "System\\Y"), kSuccess);
        }
        EXPECT_EQ(fileBytes(image.software), before) << content;
    }
}

TEST(HiveSelection, HivePrefixSelectsAnImage) {
    Image image;
    ::setenv("TORQA_REGISTRY", ("hive:" + image.dir.path()).c_str(), 1);
    ::setenv("TORQA_NTUSER", image.ntuser.c_str(), 1);
    auto reg = registryFromEnvironment();
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(createKey(*reg, kCurrentUser, "Software\\U"), kSuccess);
    EXPECT_EQ(createKey(*reg, kLocalMachine, "Software\\M"), kSuccess);
    reg.reset();
    EXPECT_EQ(Peek(image.ntuser).children("Software"), std::vector<std::string>{"U"});
    ::setenv("TORQA_REGISTRY", image.dir.path().c_str(), 1);
    EXPECT_EQ(registryFromEnvironment(), nullptr) << "a plain directory is our own store";
    ::unsetenv("TORQA_REGISTRY");
    ::unsetenv("TORQA_NTUSER");
}

}  // namespace
}  // namespace vrk::reg::hive
