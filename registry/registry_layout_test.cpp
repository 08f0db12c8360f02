// The store's files: one file for the hives of a directory, batches that are
// whole or absent across every root they touch, the refusal of a batch that
// would span two files, and the move of a store of the earlier
// one-file-per-hive layout into the shared file.
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "registry/registry_test_support.hpp"
#include "registry/sqlite/sqlite_registry.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;
using testing::TempDir;

// Runs SQL on a database file directly, as another program would.
void runSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

std::string integrityOf(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open";
    }
    sqlite3_stmt* s = nullptr;
    std::string result = "no answer";
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
        result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return result;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// ---- one file for the hives of a directory ---------------------------------

TEST(StoreFiles, HivesOfOneDirectoryShareOneFile) {
    TempDir machine, user;
    SqliteRegistry split(StoreLocation{machine.path(), user.path()});
    EXPECT_EQ(split.hivePath(kLocalMachine), machine.file("registry.db"));
    EXPECT_EQ(split.hivePath(kUsers), machine.file("registry.db"));
    EXPECT_EQ(split.hivePath(kClassesRoot), machine.file("registry.db"));
    EXPECT_EQ(split.hivePath(kCurrentUser), user.file("registry.db"));
    SqliteRegistry one(StoreLocation::inDirectory(machine.path() + "/"));
    for (Key root : {kClassesRoot, kCurrentUser, kLocalMachine, kUsers}) {
        EXPECT_EQ(one.hivePath(root), machine.file("registry.db"));
    }
}

// ---- batches ----------------------------------------------------------------

// A store whose current user's hive lies in another directory than the
// machine hives, as in the default location.
class SplitStore : public ::testing::Test {
protected:
    TempDir machineDir, userDir;
    SqliteRegistry reg{StoreLocation{machineDir.path(), userDir.path()}};

    long make(Key root, const char* path) {
        Key k = kNullKey;
        long rc = reg.createKeyEx(root, path, 0, kKeyReadWrite, &k, nullptr);
        if (rc == kSuccess) reg.closeKey(k);
        return rc;
    }
    bool exists(Key root, const char* path) {
        Key k = kNullKey;
        long rc = reg.openKeyEx(root, path, kKeyRead, &k);
        if (rc == kSuccess) reg.closeKey(k);
        return rc == kSuccess;
    }
};

TEST_F(SplitStore, ABatchSpanningTwoFilesIsRefusedBeforeAnythingIsCommitted) {
    struct Case {
        Key first, second;
        const char* firstName;
        const char* secondName;
    } cases[] = {
        {kLocalMachine, kCurrentUser, "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"},
        {kCurrentUser, kClassesRoot, "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstName);
        ASSERT_EQ(reg.beginBatch(), kSuccess);
        ASSERT_EQ(make(c.first, "Software\\First"), kSuccess);
        EXPECT_EQ(make(c.second, "Software\\Second"), kNotSupported);
        const std::string detail = reg.lastFailureDetail();
        EXPECT_TRUE(contains(detail, c.firstName)) << detail;
        EXPECT_TRUE(contains(detail, c.secondName)) << detail;
        EXPECT_TRUE(contains(detail, reg.hivePath(c.first))) << detail;
        EXPECT_TRUE(contains(detail, reg.hivePath(c.second))) << detail;
        EXPECT_TRUE(contains(detail, "nothing of the batch has been committed")) << detail;
        const unsigned char b = 1;
        EXPECT_EQ(reg.setValueEx(c.second, "v", kRegBinary, &b, 1), kNotSupported);
        // Reading the other file inside the batch is no change and works.
        EXPECT_FALSE(exists(c.second, "Software\\Second"));
        ASSERT_EQ(reg.rollbackBatch(), kSuccess);
        EXPECT_FALSE(exists(c.first, "Software\\First"));
        EXPECT_FALSE(exists(c.second, "Software\\Second"));
    }
    // After the batch each file takes changes again, in and out of batches.
    EXPECT_EQ(make(kCurrentUser, "Software\\After"), kSuccess);
    ASSERT_EQ(reg.beginBatch(), kSuccess);
    EXPECT_EQ(make(kLocalMachine, "Software\\A"), kSuccess);
    EXPECT_EQ(make(kUsers, "S\\B"), kSuccess) << "the same file: " << reg.lastFailureDetail();
    EXPECT_EQ(make(kClassesRoot, ".c"), kSuccess);
    ASSERT_EQ(reg.commitBatch(), kSuccess);
    EXPECT_TRUE(exists(kLocalMachine, "Software\\A"));
    EXPECT_TRUE(exists(kUsers, "S\\B"));
    EXPECT_TRUE(exists(kClassesRoot, ".c"));
}

class AllRoots : public ScratchStore {};

// A batch that changes every root, then fails: rolled back, nothing stays.
TEST_F(AllRoots, InOneBatchAreChangedOrNoneWhenALaterCallFails) {
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    for (Key root : {kClassesRoot, kCurrentUser, kLocalMachine, kUsers}) {
        Key k = create(root, "Batch\\Key");
        setText(k, "v", "x");
        reg->closeKey(k);
    }
    // A later call of the batch fails (a key with subkeys cannot be deleted).
    ASSERT_EQ(reg->deleteKey(kLocalMachine, "Batch"), kAccessDenied);
    ASSERT_EQ(reg->rollbackBatch(), kSuccess);
    auto fresh = makeScratchRegistry(dir.path());
    for (Key root : {kClassesRoot, kCurrentUser, kLocalMachine, kUsers}) {
        Key k = kNullKey;
        EXPECT_EQ(fresh->openKeyEx(root, "Batch", kKeyRead, &k), kFileNotFound);
    }
}

// The batch of an import on a full disk: a key in one root, a large value in
// another. The batch either fails at the call that finds the disk full or at
// its commit, and whatever fails, nothing of it is in the store.
TEST(FullDisk, ABatchOverSeveralRootsIsWholeOrAbsent) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    TempDir dir;
    const std::string mnt = dir.file("small");
    std::filesystem::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=400k,mode=0755") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mnt};
    {
        auto reg = makeScratchRegistry(mnt);
        Key k = kNullKey;
        ASSERT_EQ(reg->createKeyEx(kLocalMachine, "Software", 0, kKeyReadWrite, &k, nullptr),
                  kSuccess);
        reg->closeKey(k);
        ASSERT_EQ(reg->beginBatch(), kSuccess);
        ASSERT_EQ(reg->createKeyEx(kClassesRoot, ".vrk", 0, kKeyReadWrite, &k, nullptr), kSuccess);
        reg->closeKey(k);
        ASSERT_EQ(reg->createKeyEx(kLocalMachine, "Software\\Big", 0, kKeyReadWrite, &k, nullptr),
                  kSuccess);
        std::string big(300 * 1024, 'b');
        long set =
            reg->setValueEx(k, "v", kRegBinary, reinterpret_cast<const unsigned char*>(big.data()),
                            static_cast<std::uint32_t>(big.size()));
        reg->closeKey(k);
        long commit = set == kSuccess ? reg->commitBatch() : reg->rollbackBatch();
        EXPECT_TRUE(set != kSuccess || commit != kSuccess)
            << "300 KB and their log do not fit in 400 KB";
        std::printf("the batch failed at %s\n", set == kSuccess ? "its commit" : "the value");
        if (set == kSuccess) {
            EXPECT_EQ(commit, kRegistryIoFailed);
            EXPECT_TRUE(contains(reg->lastFailureDetail(), "nothing of the batch was committed"))
                << reg->lastFailureDetail();
        } else {
            EXPECT_EQ(set, kRegistryIoFailed) << reg->lastFailureDetail();
        }
    }
    auto reg = makeScratchRegistry(mnt);
    Key k = kNullKey;
    EXPECT_EQ(reg->openKeyEx(kClassesRoot, ".vrk", kKeyRead, &k), kFileNotFound);
    EXPECT_EQ(reg->openKeyEx(kLocalMachine, "Software\\Big", kKeyRead, &k), kFileNotFound);
    EXPECT_EQ(reg->openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kSuccess);
    reg->closeKey(k);
    EXPECT_EQ(integrityOf(mnt + "/registry.db"), "ok");
}

// A writer killed at any moment of a batch over two roots leaves both roots
// changed or neither: the batch is one commit of one file.
TEST(KilledBatch, TwoRootsAreChangedTogetherOrNotAtAll) {
    constexpr int kKeys = 1500;
    std::vector<int> outcomes;
    for (int round = 0; round < 6; ++round) {
        TempDir dir;
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            ::close(fds[0]);
            auto reg = makeScratchRegistry(dir.path());
            if (reg->beginBatch() != kSuccess) ::_exit(10);
            for (Key root : {kClassesRoot, kLocalMachine}) {
                for (int i = 0; i < kKeys; ++i) {
                    std::string path = "Batch\\k" + std::to_string(i);
                    Key k = kNullKey;
                    if (reg->createKeyEx(root, path.c_str(), 0, kKeyReadWrite, &k, nullptr) !=
                        kSuccess) {
                        ::_exit(11);
                    }
                    reg->closeKey(k);
                }
            }
            char c = 'c';
            if (::write(fds[1], &c, 1) != 1) ::_exit(12);
            reg->commitBatch();
            ::_exit(0);
        }
        ::close(fds[1]);
        char c = 0;
        ASSERT_EQ(::read(fds[0], &c, 1), 1);
        ::close(fds[0]);
        // Kill it while it commits, sooner or later from round to round.
        ::usleep(static_cast<useconds_t>(round * 400));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        ASSERT_EQ(integrityOf(dir.file("registry.db")), "ok");
        auto reg = makeScratchRegistry(dir.path());
        int counts[2] = {0, 0};
        int r = 0;
        for (Key root : {kClassesRoot, kLocalMachine}) {
            Key k = kNullKey;
            if (reg->openKeyEx(root, "Batch", kKeyRead, &k) == kSuccess) {
                char name[16];
                while (reg->enumKey(k, static_cast<std::uint32_t>(counts[r]), name, sizeof name) ==
                       kSuccess) {
                    ++counts[r];
                }
                reg->closeKey(k);
            }
            ++r;
        }
        EXPECT_EQ(counts[0], counts[1]) << "round " << round;
        EXPECT_TRUE(counts[0] == 0 || counts[0] == kKeys) << counts[0];
        outcomes.push_back(counts[0]);
    }
    std::printf("keys present after each kill: ");
    for (int n : outcomes) std::printf("%d ", n);
    std::printf("\n");
}

// ---- a store of the earlier layout --------------------------------------------

// Writes a hive file of the earlier layout (its root is id 0), in WAL mode
// with the last change still in the log, as a running store left it.
void writeOldHive(const std::string& path, const std::string& rows) {
    runSql(path,
           "PRAGMA journal_mode = WAL;"
           "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
           "  name BLOB NOT NULL, sortname BLOB NOT NULL, UNIQUE(parent, sortname));"
           "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name BLOB NOT NULL,"
           "  upname BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
           "  UNIQUE(key, upname));"
           "CREATE INDEX vals_order ON vals(key);"
           "PRAGMA application_id = 1448233810; PRAGMA user_version = 1;" +
               rows);
}

class OldLayout : public ScratchStore {
protected:
    void SetUp() override {
        writeOldHive(dir.file("HKEY_LOCAL_MACHINE.db"),
                     "INSERT INTO keys VALUES(1, 0, 'Software', 'SOFTWARE');"
                     "INSERT INTO keys VALUES(2, 1, 'SV.INI', 'SV.INI');"
                     "INSERT INTO keys VALUES(5, 0, 'System', 'SYSTEM');"
                     "INSERT INTO vals VALUES(1, 2, 'b', 'B', 1, 'second');"
                     "INSERT INTO vals VALUES(2, 2, 'A', 'A', 1, 'third');"
                     "INSERT INTO vals VALUES(3, 0, 'rootvalue', 'ROOTVALUE', 3, x'00ff');");
        writeOldHive(dir.file("HKEY_CURRENT_USER.db"),
                     "INSERT INTO keys VALUES(1, 0, 'Mine', 'MINE');"
                     "INSERT INTO vals VALUES(7, 1, 'v', 'V', 1, 'user');");
    }
    std::vector<std::string> files() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(OldLayout, IsMovedIntoTheStoreFileOnFirstUse) {
    Key k = kNullKey;
    ASSERT_EQ(open(kLocalMachine, "software\\sv.ini", &k, kKeyRead), kSuccess)
        << reg->lastFailureDetail();
    EXPECT_EQ(valueNames(k), (std::vector<std::string>{"b", "A"})) << "creation order kept";
    EXPECT_EQ(bytesOf(k, "a"), "third");
    reg->closeKey(k);
    EXPECT_EQ(subkeys(kLocalMachine), (std::vector<std::string>{"Software", "System"}));
    EXPECT_EQ(bytesOf(kLocalMachine, "RootValue"), std::string("\0\xff", 2));
    ASSERT_EQ(open(kCurrentUser, "MINE", &k, kKeyRead), kSuccess);
    EXPECT_EQ(bytesOf(k, "v"), "user");
    reg->closeKey(k);
    EXPECT_TRUE(subkeys(kUsers).empty());
    EXPECT_EQ(files(), (std::vector<std::string>{"HKEY_CURRENT_USER.db.migrated",
                                                 "HKEY_LOCAL_MACHINE.db.migrated", "registry.db",
                                                 "registry.db-shm", "registry.db-wal"}));
    EXPECT_EQ(integrityOf(dir.file("registry.db")), "ok");
    // New keys get ids of their own, past the moved ones.
    Key fresh = create(kLocalMachine, "Software\\New");
    setText(fresh, "n", "new");
    reg->closeKey(fresh);
    auto again = makeScratchRegistry(dir.path());
    ASSERT_EQ(again->openKeyEx(kLocalMachine, "Software\\SV.INI", kKeyRead, &k), kSuccess);
    again->closeKey(k);
    ASSERT_EQ(again->openKeyEx(kLocalMachine, "Software\\New", kKeyRead, &k), kSuccess);
    again->closeKey(k);
}

TEST_F(OldLayout, AFirstWriteMovesItToo) {
    reg->closeKey(create(kUsers, "S-1"));
    Key k = kNullKey;
    EXPECT_EQ(open(kLocalMachine, "Software\\SV.INI", &k, kKeyRead), kSuccess);
    reg->closeKey(k);
    EXPECT_EQ(subkeys(kUsers), std::vector<std::string>{"S-1"});
}

TEST_F(OldLayout, AnInterruptedMoveIsFinished) {
    // The store file took both hives in; the process died before it renamed them.
    {
        Key k = kNullKey;
        ASSERT_EQ(open(kCurrentUser, "Mine", &k, kKeyRead), kSuccess);
        reg->closeKey(k);
    }
    reg.reset();
    for (const char* name : {"HKEY_LOCAL_MACHINE.db", "HKEY_CURRENT_USER.db"}) {
        std::filesystem::rename(dir.file(std::string(name) + ".migrated"), dir.file(name));
    }
    reg = makeScratchRegistry(dir.path());
    Key k = kNullKey;
    ASSERT_EQ(open(kCurrentUser, "Mine", &k, kKeyRead), kSuccess) << reg->lastFailureDetail();
    reg->closeKey(k);
    EXPECT_FALSE(std::filesystem::exists(dir.file("HKEY_CURRENT_USER.db")));
    EXPECT_EQ(subkeys(kLocalMachine), (std::vector<std::string>{"Software", "System"}))
        << "taken in once, not twice";
}

TEST_F(OldLayout, AHiveFileTheStoreDidNotTakeInIsRefused) {
    reg->closeKey(create(kUsers, "x"));  // moves both
    reg.reset();
    writeOldHive(dir.file("HKEY_CLASSES_ROOT.db"), "");
    reg = makeScratchRegistry(dir.path());
    Key k = kNullKey;
    EXPECT_EQ(open(kUsers, "x", &k, kKeyRead), kBadDb);
    EXPECT_TRUE(contains(reg->lastFailureDetail(), dir.file("HKEY_CLASSES_ROOT.db")))
        << reg->lastFailureDetail();
    EXPECT_EQ(reg->createKeyEx(kUsers, "y", 0, kKeyReadWrite, &k, nullptr), kBadDb);
    EXPECT_TRUE(std::filesystem::exists(dir.file("HKEY_CLASSES_ROOT.db")));
}

TEST_F(OldLayout, AForeignOldFileStopsTheMoveWithNothingChanged) {
    runSql(dir.file("HKEY_USERS.db"), "CREATE TABLE people(name TEXT);");
    Key k = kNullKey;
    EXPECT_EQ(open(kLocalMachine, "Software", &k, kKeyRead), kBadDb);
    EXPECT_TRUE(contains(reg->lastFailureDetail(), dir.file("HKEY_USERS.db")))
        << reg->lastFailureDetail();
    EXPECT_EQ(files(), (std::vector<std::string>{"HKEY_CURRENT_USER.db", "HKEY_LOCAL_MACHINE.db",
                                                 "HKEY_USERS.db"}));
}

TEST(OldLayoutSplit, EachFileTakesInItsOwnHives) {
    TempDir machineDir, userDir;
    writeOldHive(machineDir.file("HKEY_LOCAL_MACHINE.db"),
                 "INSERT INTO keys VALUES(1, 0, 'Software', 'SOFTWARE');");
    writeOldHive(userDir.file("HKEY_CURRENT_USER.db"),
                 "INSERT INTO keys VALUES(1, 0, 'Mine', 'MINE');");
    // A user hive file in the machine directory is no hive of that store.
    writeOldHive(machineDir.file("HKEY_CURRENT_USER.db"),
                 "INSERT INTO keys VALUES(1, 0, 'Stray', 'STRAY');");
    SqliteRegistry reg(StoreLocation{machineDir.path(), userDir.path()});
    Key k = kNullKey;
    ASSERT_EQ(reg.openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kSuccess);
    reg.closeKey(k);
    ASSERT_EQ(reg.openKeyEx(kCurrentUser, "Mine", kKeyRead, &k), kSuccess);
    reg.closeKey(k);
    EXPECT_EQ(reg.openKeyEx(kCurrentUser, "Stray", kKeyRead, &k), kFileNotFound);
    EXPECT_TRUE(std::filesystem::exists(machineDir.file("HKEY_CURRENT_USER.db")));
    EXPECT_TRUE(std::filesystem::exists(userDir.file("HKEY_CURRENT_USER.db.migrated")));
}

}  // namespace
}  // namespace vrk::reg
