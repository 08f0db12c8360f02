// The store on disk: files that are corrupt, foreign or read-only, batches,
// several processes at once, a writer killed mid-run.
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "registry/registry_test_support.hpp"
#include "registry/store_file_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::runSql;
using testing::ScratchStore;
using testing::TempDir;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Waits for a child and returns its exit status (-1 when it did not exit).
int waitFor(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- files that are not ours -------------------------------------------

class BadFiles : public ScratchStore {
protected:
    std::string hive = dir.file("registry.db");

    // Reads and writes both fail with kBadDb, name the file, and leave it as it was.
    void expectRefused(const char* what) {
        std::string before = readFile(hive);
        Key k = kNullKey;
        EXPECT_EQ(open(kCurrentUser, "Software", &k, kKeyRead), kBadDb) << what;
        EXPECT_NE(std::string(reg->lastFailureDetail()).find(hive), std::string::npos)
            << what << ": " << reg->lastFailureDetail();
        EXPECT_EQ(reg->createKeyEx(kCurrentUser, "Software", 0, kKeyReadWrite, &k, nullptr), kBadDb)
            << what;
        EXPECT_EQ(k, kNullKey);
        const unsigned char b = 1;
        EXPECT_EQ(reg->setValueEx(kCurrentUser, "v", kRegBinary, &b, 1), kBadDb) << what;
        char name[8];
        EXPECT_EQ(reg->enumKey(kCurrentUser, 0, name, sizeof name), kBadDb) << what;
        EXPECT_EQ(readFile(hive), before) << what << ": the file must stay as it was";
    }
};

TEST_F(BadFiles, NotADatabase) {
    std::string junk;
    for (int i = 0; i < 200; ++i) junk += "this is a text file, not a registry hive\n";
    writeFile(hive, junk);
    expectRefused("text file");
    EXPECT_NE(std::string(reg->lastFailureDetail()).find("not a database"), std::string::npos)
        << reg->lastFailureDetail();
}

TEST_F(BadFiles, ForeignSqliteDatabase) {
    runSql(hive, "CREATE TABLE people(name TEXT); INSERT INTO people VALUES('x');");
    expectRefused("foreign database");
    EXPECT_NE(std::string(reg->lastFailureDetail()).find("foreign"), std::string::npos)
        << reg->lastFailureDetail();
}

TEST_F(BadFiles, HiveOfANewerLayout) {
    reg->closeKey(create(kCurrentUser, "x"));
    reg = makeScratchRegistry(dir.path());  // closes the first store object
    runSql(hive, "PRAGMA user_version = 99;");
    expectRefused("newer layout");
}

TEST_F(BadFiles, CorruptPagesFailCleanly) {
    Key k = create(kCurrentUser, "bulk");
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    for (int i = 0; i < 400; ++i) {
        std::string name = "key" + std::to_string(i);
        Key c = create(k, name.c_str());
        setText(c, "value", std::string(100, 'v'));
        reg->closeKey(c);
    }
    ASSERT_EQ(reg->commitBatch(), kSuccess);
    reg->closeKey(k);
    reg.reset();  // the last connection folds the log into the file
    std::string bytes = readFile(hive);
    ASSERT_GT(bytes.size(), 16384u);
    for (std::size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xA5 ^ i);
    writeFile(hive, bytes);
    reg = makeScratchRegistry(dir.path());
    std::set<long> results;
    Key bulk = kNullKey;
    long rc = open(kCurrentUser, "bulk", &bulk, kKeyRead);
    results.insert(rc);
    if (rc == kSuccess) {
        char name[32];
        for (std::uint32_t i = 0; i < 500; ++i) {
            rc = reg->enumKey(bulk, i, name, sizeof name);
            results.insert(rc);
            if (rc != kSuccess) break;
        }
    }
    results.erase(kSuccess);
    EXPECT_EQ(results, std::set<long>{kBadDb}) << "corruption is reported, never hidden";
    EXPECT_EQ(readFile(hive), bytes) << "a corrupt hive is never replaced";
}

TEST_F(BadFiles, EmptyFileIsAnEmptyHive) {
    writeFile(hive, "");
    Key k = kNullKey;
    EXPECT_EQ(open(kCurrentUser, "x", &k, kKeyRead), kFileNotFound);
    reg->closeKey(create(kCurrentUser, "x"));
    EXPECT_EQ(open(kCurrentUser, "x", &k, kKeyRead), kSuccess);
    reg->closeKey(k);
}

// ---- stores that cannot be written ------------------------------------

TEST(ReadOnlyStore, DirectoryThatCannotBeCreated) {
    // Nothing can be created below /proc/self, not even by root.
    auto reg = makeScratchRegistry("/proc/self/vrk-registry-store");
    Key k{7};
    EXPECT_EQ(reg->createKeyEx(kLocalMachine, "Software", 0, kKeyReadWrite, &k, nullptr),
              kAccessDenied);
    EXPECT_EQ(k, kNullKey);
    EXPECT_NE(std::string(reg->lastFailureDetail()).find("/proc/self/vrk-registry-store"),
              std::string::npos)
        << reg->lastFailureDetail();
    EXPECT_EQ(reg->createKey(kLocalMachine, "Software", &k), kAccessDenied);
    const unsigned char b = 1;
    EXPECT_EQ(reg->setValueEx(kCurrentUser, "v", kRegBinary, &b, 1), kAccessDenied);
    // Reading still works: an empty hive.
    EXPECT_EQ(reg->openKeyEx(kLocalMachine, "Software", kKeyRead, &k), kFileNotFound);
    char name[8];
    EXPECT_EQ(reg->enumKey(kLocalMachine, 0, name, sizeof name), kNoMoreItems);
}

// Runs body as an unprivileged user: in a child process when this one is
// root (where permissions would not stop a write). Returns body's result.
int asUnprivileged(const std::string& dir, const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    pid_t child = ::fork();
    if (child == 0) {
        if (::chown(dir.c_str(), 65534, 65534) != 0 || ::setgid(65534) != 0 ||
            ::setuid(65534) != 0) {
            ::_exit(90);
        }
        ::_exit(body());
    }
    return waitFor(child);
}

TEST(ReadOnlyStore, WriteProtectedHiveFile) {
    TempDir dir;
    int rc = asUnprivileged(dir.path(), [&]() -> int {
        int failures = 0;
        {
            auto reg = makeScratchRegistry(dir.path());
            Key k = kNullKey;
            if (reg->createKeyEx(kLocalMachine, "Software\\Kept", 0, kKeyReadWrite, &k, nullptr) !=
                kSuccess) {
                return 80;
            }
            const unsigned char b = 'k';
            if (reg->setValueEx(k, "v", kRegBinary, &b, 1) != kSuccess) return 81;
            reg->closeKey(k);
        }
        if (::chmod((dir.path() + "/registry.db").c_str(), 0444) != 0) return 82;
        auto reg = makeScratchRegistry(dir.path());
        Key k = kNullKey;
        // Creating or opening for writing is refused ...
        if (reg->createKeyEx(kLocalMachine, "Software\\Kept", 0, kKeyReadWrite, &k, nullptr) !=
            kAccessDenied) {
            ++failures;
        }
        if (reg->createKeyEx(kLocalMachine, "Software\\New", 0, kKeyReadWrite, &k, nullptr) !=
            kAccessDenied) {
            ++failures;
        }
        if (reg->openKeyEx(kLocalMachine, "Software\\Kept", kKeyReadWrite, &k) != kAccessDenied) {
            ++failures;
        }
        const unsigned char b = 'x';
        if (reg->setValueEx(kLocalMachine, "v", kRegBinary, &b, 1) != kAccessDenied) ++failures;
        // ... reading is not.
        if (reg->openKeyEx(kLocalMachine, "Software\\Kept", kKeyRead, &k) != kSuccess) {
            return 83;
        }
        unsigned char got = 0;
        std::uint32_t size = 1;
        if (reg->queryValueEx(k, "v", nullptr, &got, &size) != kSuccess || got != 'k') {
            ++failures;
        }
        return failures;
    });
    EXPECT_EQ(rc, 0);
}

TEST(ReadOnlyStore, ReaderWhoMayNotWriteTheDirectory) {
    // A machine-wide store written by an administrator and read by a user
    // who can create nothing there.
    TempDir dir;
    {
        auto reg = makeScratchRegistry(dir.path());
        Key k = kNullKey;
        ASSERT_EQ(
            reg->createKeyEx(kLocalMachine, "Software\\Vendor", 0, kKeyReadWrite, &k, nullptr),
            kSuccess);
        const unsigned char b = 'r';
        ASSERT_EQ(reg->setValueEx(k, "v", kRegBinary, &b, 1), kSuccess);
        reg->closeKey(k);
    }
    const bool root = ::geteuid() == 0;
    auto reader = [&]() -> int {
        if (!root) {
            for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
                ::chmod(e.path().c_str(), 0444);
            }
            ::chmod(dir.path().c_str(), 0555);
        }
        auto reg = makeScratchRegistry(dir.path());
        Key k = kNullKey;
        if (reg->openKeyEx(kLocalMachine, "Software\\Vendor", kKeyRead, &k) != kSuccess) {
            return 20;
        }
        unsigned char got = 0;
        std::uint32_t size = 1;
        if (reg->queryValueEx(k, "v", nullptr, &got, &size) != kSuccess || got != 'r') return 21;
        char name[16];
        if (reg->enumKey(kLocalMachine, 0, name, sizeof name) != kSuccess) return 22;
        if (reg->createKeyEx(kLocalMachine, "Software\\Vendor", 0, kKeyReadWrite, &k, nullptr) !=
            kAccessDenied) {
            return 23;
        }
        Key user = kNullKey;  // a hive that does not exist yet cannot be made there
        if (reg->createKeyEx(kCurrentUser, "x", 0, kKeyReadWrite, &user, nullptr) !=
            kAccessDenied) {
            return 24;
        }
        return 0;
    };
    int rc;
    if (root) {
        ::chmod(dir.path().c_str(), 0755);
        pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(90);
            ::_exit(reader());
        }
        rc = waitFor(child);
    } else {
        rc = reader();
    }
    EXPECT_EQ(rc, 0);
}

// ---- threads ------------------------------------------------------------

TEST(SharedStore, ThreadsShareOneStoreObject) {
    TempDir dir;
    auto reg = makeScratchRegistry(dir.path());
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                std::string path = "Threads\\t" + std::to_string(t) + "\\k" + std::to_string(i % 5);
                Key k = kNullKey;
                if (reg->createKeyEx(kCurrentUser, path.c_str(), 0, kKeyReadWrite, &k, nullptr) !=
                    kSuccess) {
                    ++failures;
                    continue;
                }
                const unsigned char b = static_cast<unsigned char>(i);
                if (reg->setValueEx(k, "v", kRegBinary, &b, 1) != kSuccess) ++failures;
                char name[16];
                long rc = reg->enumKey(kCurrentUser, 0, name, sizeof name);
                if (rc != kSuccess) ++failures;
                if (reg->closeKey(k) != kSuccess) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    Key k = kNullKey;
    ASSERT_EQ(reg->openKeyEx(kCurrentUser, "Threads", kKeyRead, &k), kSuccess);
    char name[16];
    EXPECT_EQ(reg->enumKey(k, 3, name, sizeof name), kSuccess);
    EXPECT_EQ(reg->enumKey(k, 4, name, sizeof name), kNoMoreItems);
    reg->closeKey(k);
}

// ---- batches --------------------------------------------------------------

class StoreDirectory : public ScratchStore {};

// The store's directory is made at the first write.
TEST_F(StoreDirectory, MissingDirectoryIsCreatedOnFirstWrite) {
    std::string nested = dir.file("deep/er/store");
    auto r = makeScratchRegistry(nested);
    Key k = kNullKey;
    ASSERT_EQ(r->createKeyEx(kCurrentUser, "x", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    r->closeKey(k);
    EXPECT_TRUE(std::filesystem::exists(nested + "/registry.db"));
}

class Batches : public ScratchStore {};

TEST_F(Batches, RollbackUndoesEveryHiveTouched) {
    reg->closeKey(create(kCurrentUser, "before"));
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    reg->closeKey(create(kCurrentUser, "a"));
    Key m = create(kLocalMachine, "b");
    setText(m, "v", "x");
    ASSERT_EQ(reg->deleteKey(kCurrentUser, "before"), kSuccess);
    ASSERT_EQ(reg->rollbackBatch(), kSuccess);
    EXPECT_EQ(subkeys(kCurrentUser), std::vector<std::string>{"before"});
    EXPECT_TRUE(subkeys(kLocalMachine).empty());
    std::uint32_t size = 0;
    EXPECT_EQ(reg->queryValueEx(m, "v", nullptr, nullptr, &size), kKeyDeleted)
        << "the handle's key never came to be";
    reg->closeKey(m);
}

TEST_F(Batches, CommitMakesEverythingVisibleAtOnce) {
    auto other = makeScratchRegistry(dir.path());
    reg->closeKey(create(kCurrentUser, "base"));
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    for (const char* name : {"base\\one", "base\\two", "base\\three"}) {
        reg->closeKey(create(kCurrentUser, name));
    }
    char name[16];
    Key base = kNullKey;
    ASSERT_EQ(other->openKeyEx(kCurrentUser, "base", kKeyRead, &base), kSuccess);
    EXPECT_EQ(other->enumKey(base, 0, name, sizeof name), kNoMoreItems) << "not yet visible";
    ASSERT_EQ(reg->commitBatch(), kSuccess);
    EXPECT_EQ(other->enumKey(base, 2, name, sizeof name), kSuccess);
    other->closeKey(base);
}

TEST_F(Batches, NestedBatchesCommitWithTheOutermost) {
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    reg->closeKey(create(kUsers, "inner"));
    ASSERT_EQ(reg->commitBatch(), kSuccess);
    ASSERT_EQ(reg->rollbackBatch(), kSuccess);
    EXPECT_TRUE(subkeys(kUsers).empty());
    EXPECT_EQ(reg->commitBatch(), kInvalidParameter) << "no batch open";
    EXPECT_EQ(reg->rollbackBatch(), kInvalidParameter);
}

TEST_F(Batches, AFailedCallInsideABatchChangesNothing) {
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    reg->closeKey(create(kCurrentUser, "p\\c"));
    EXPECT_EQ(reg->deleteKey(kCurrentUser, "p"), kAccessDenied);
    reg->closeKey(create(kCurrentUser, "q"));
    ASSERT_EQ(reg->commitBatch(), kSuccess);
    EXPECT_EQ(subkeys(kCurrentUser), (std::vector<std::string>{"p", "q"}));
}

// A batch is its thread's: another thread's batch, begun while it is open,
// waits for it, and that thread's rollback takes nothing of this one.
TEST_F(Batches, AnotherThreadsRollbackKeepsThisThreadsBatch) {
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    reg->closeKey(create(kCurrentUser, "mine"));
    std::atomic<long> begun{-1}, made{-1}, rolledBack{-1};
    std::thread other([&] {
        begun = reg->beginBatch();
        Key k = kNullKey;
        made = reg->createKeyEx(kCurrentUser, "theirs", 0, kKeyReadWrite, &k, nullptr);
        reg->closeKey(k);
        rolledBack = reg->rollbackBatch();
    });
    // Time for the other thread to run as far as it may.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(reg->commitBatch(), kSuccess);
    other.join();
    EXPECT_EQ(begun.load(), kSuccess);
    EXPECT_EQ(made.load(), kSuccess);
    EXPECT_EQ(rolledBack.load(), kSuccess);
    EXPECT_EQ(subkeys(kCurrentUser), std::vector<std::string>{"mine"});
}

// ---- several processes ---------------------------------------------------

// Several processes making the same new hive at once: each finds it either
// not yet set up or whole, never a half-set-up file it takes for foreign.
TEST(SharedStore, ProcessesSettingUpANewHiveAtOnce) {
    constexpr int kRounds = 25;
    constexpr int kProcesses = 6;
    for (int round = 0; round < kRounds; ++round) {
        TempDir dir;
        pid_t children[kProcesses];
        for (int p = 0; p < kProcesses; ++p) {
            children[p] = ::fork();
            ASSERT_NE(children[p], -1);
            if (children[p] == 0) {
                auto reg = makeScratchRegistry(dir.path());
                Key k = kNullKey;
                const std::string name = "Software\\P" + std::to_string(p);
                long rc =
                    reg->createKeyEx(kLocalMachine, name.c_str(), 0, kKeyReadWrite, &k, nullptr);
                if (rc != kSuccess) std::fprintf(stderr, "%ld %s\n", rc, reg->lastFailureDetail());
                ::_exit(rc == kSuccess ? 0 : 1);
            }
        }
        for (pid_t child : children) ASSERT_EQ(waitFor(child), 0) << "round " << round;
    }
}

TEST(SharedStore, TwoProcessesWritingTheSameKeys) {
    TempDir dir;
    constexpr int kRounds = 150;
    auto writer = [&](int who) -> int {
        auto reg = makeScratchRegistry(dir.path());
        for (int i = 0; i < kRounds; ++i) {
            std::string path = "Shared\\k" + std::to_string(i % 7);
            Key k = kNullKey;
            if (reg->createKeyEx(kLocalMachine, path.c_str(), 0, kKeyReadWrite, &k, nullptr) !=
                kSuccess) {
                return 10;
            }
            std::string name = "w" + std::to_string(who) + "_" + std::to_string(i);
            std::string data = std::to_string(i * 3 + who);
            auto bytes = reinterpret_cast<const unsigned char*>(data.data());
            auto size = static_cast<std::uint32_t>(data.size());
            if (reg->setValueEx(k, name.c_str(), kRegSz, bytes, size) != kSuccess) return 11;
            if (reg->setValueEx(k, "last", kRegSz, bytes, size) != kSuccess) return 12;
            std::uint32_t n = 0;
            if (reg->queryValueEx(k, name.c_str(), nullptr, nullptr, &n) != kSuccess) return 13;
            if (reg->closeKey(k) != kSuccess) return 14;
            if (i % 10 == 0) {
                // Keys that come and go under both writers.
                std::string tmp = "Shared\\tmp" + std::to_string(who);
                if (reg->createKeyEx(kLocalMachine, tmp.c_str(), 0, kKeyReadWrite, &k, nullptr) !=
                    kSuccess) {
                    return 15;
                }
                reg->closeKey(k);
                if (reg->deleteKey(kLocalMachine, tmp.c_str()) != kSuccess) return 16;
            }
        }
        return 0;
    };
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
        children[who] = ::fork();
        ASSERT_NE(children[who], -1);
        if (children[who] == 0) ::_exit(writer(who));
    }
    for (pid_t child : children) EXPECT_EQ(waitFor(child), 0);

    auto reg = makeScratchRegistry(dir.path());
    for (int who = 0; who < 2; ++who) {
        for (int i = 0; i < kRounds; ++i) {
            std::string path = "Shared\\k" + std::to_string(i % 7);
            Key k = kNullKey;
            ASSERT_EQ(reg->openKeyEx(kLocalMachine, path.c_str(), kKeyRead, &k), kSuccess);
            std::string name = "w" + std::to_string(who) + "_" + std::to_string(i);
            char buf[16] = {};
            std::uint32_t n = sizeof buf - 1;
            ASSERT_EQ(reg->queryValueEx(k, name.c_str(), nullptr,
                                        reinterpret_cast<unsigned char*>(buf), &n),
                      kSuccess)
                << name;
            EXPECT_EQ(std::string(buf, n), std::to_string(i * 3 + who));
            reg->closeKey(k);
        }
    }
    Key shared = kNullKey;
    ASSERT_EQ(reg->openKeyEx(kLocalMachine, "Shared", kKeyRead, &shared), kSuccess);
    char name[16];
    std::vector<std::string> names;
    for (std::uint32_t i = 0; reg->enumKey(shared, i, name, sizeof name) == kSuccess; ++i) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"k0", "k1", "k2", "k3", "k4", "k5", "k6"}));
    reg->closeKey(shared);
}

// A write that finds another process holding the store's write lock longer
// than it waits fails with 1016, and says for how long it waited and who held
// the lock. (It waits the store's full busy time, about 30 seconds.)
TEST(SharedStore, AWriteKeptWaitingNamesTheHolderAndTheWait) {
    TempDir dir;
    auto reg = makeScratchRegistry(dir.path());
    Key k = kNullKey;
    ASSERT_EQ(reg->createKeyEx(kLocalMachine, "Busy", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_NE(holder, -1);
    if (holder == 0) {
        sqlite3* db = nullptr;
        if (sqlite3_open(dir.file("registry.db").c_str(), &db) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            ::_exit(1);
        (void)!::write(ready[1], "x", 1);
        ::sleep(120);  // until killed
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1) << "the holder could not lock the store";
    const unsigned char b = 1;
    const long rc = reg->setValueEx(k, "v", kRegBinary, &b, 1);
    const std::string detail = reg->lastFailureDetail();
    ::kill(holder, SIGKILL);
    waitFor(holder);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(rc, kRegistryIoFailed);
    EXPECT_NE(detail.find(dir.file("registry.db") + ": the store stayed busy for "),
              std::string::npos)
        << detail;
    EXPECT_NE(detail.find("(process " + std::to_string(holder) + " ("), std::string::npos)
        << detail;
    EXPECT_NE(detail.find(") held its write lock)"), std::string::npos) << detail;
    reg->closeKey(k);
}

TEST(SharedStore, KilledWriterLosesNoCompletedCall) {
    TempDir dir;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::close(fds[0]);
        auto reg = makeScratchRegistry(dir.path());
        std::string payload(3000, 'p');
        for (std::uint32_t i = 0;; ++i) {
            std::string path = "Crash\\k" + std::to_string(i % 13);
            Key k = kNullKey;
            if (reg->createKeyEx(kCurrentUser, path.c_str(), 0, kKeyReadWrite, &k, nullptr) !=
                kSuccess) {
                ::_exit(10);
            }
            std::string name = "v" + std::to_string(i);
            payload[0] = static_cast<char>('a' + i % 26);
            if (reg->setValueEx(k, name.c_str(), kRegBinary,
                                reinterpret_cast<const unsigned char*>(payload.data()),
                                static_cast<std::uint32_t>(payload.size())) != kSuccess) {
                ::_exit(11);
            }
            reg->closeKey(k);
            // The call returned: report it.
            if (::write(fds[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) ::_exit(12);
        }
    }
    ::close(fds[1]);
    std::vector<std::uint32_t> done;
    std::uint32_t i = 0;
    while (done.size() < 60 && ::read(fds[0], &i, sizeof i) == static_cast<ssize_t>(sizeof i)) {
        done.push_back(i);
    }
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own: " << status;
    while (::read(fds[0], &i, sizeof i) == static_cast<ssize_t>(sizeof i)) done.push_back(i);
    ::close(fds[0]);
    ASSERT_GE(done.size(), 60u);

    // The store opens, is consistent, and holds every completed call.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dir.path() + "/registry.db").c_str(), &db), SQLITE_OK);
        sqlite3_stmt* s = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "ok");
        sqlite3_finalize(s);
        sqlite3_close(db);
    }
    auto reg = makeScratchRegistry(dir.path());
    for (std::uint32_t n : done) {
        std::string path = "Crash\\k" + std::to_string(n % 13);
        Key k = kNullKey;
        ASSERT_EQ(reg->openKeyEx(kCurrentUser, path.c_str(), kKeyRead, &k), kSuccess) << n;
        std::string name = "v" + std::to_string(n);
        std::string got(3000, '\0');
        std::uint32_t size = 3000;
        ASSERT_EQ(reg->queryValueEx(k, name.c_str(), nullptr,
                                    reinterpret_cast<unsigned char*>(got.data()), &size),
                  kSuccess)
            << name;
        EXPECT_EQ(size, 3000u);
        EXPECT_EQ(got[0], static_cast<char>('a' + n % 26));
        reg->closeKey(k);
    }
    // And it takes writes again.
    Key k = kNullKey;
    EXPECT_EQ(reg->createKeyEx(kCurrentUser, "Crash\\after", 0, kKeyReadWrite, &k, nullptr),
              kSuccess);
    reg->closeKey(k);
}

}  // namespace
}  // namespace vrk::reg
