// When the store writes its log back into the store file and syncs it: on
// flushKey, on the commit of a batch, and when a registry that changed the
// store goes away (the platform's registry at normal exit). A flushed log is
// empty; an unflushed one still holds the changes.
#include <sqlite3.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "registry/registry_test_support.hpp"
#include "registry/testing/fault_vfs.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;

class Flush : public ScratchStore {
protected:
    // Another process's registry, kept open: the changing registry is then
    // never the store's last connection, whose close would empty the log
    // anyway.
    std::unique_ptr<Registry> bystander = makeScratchRegistry(dir.path());

    void SetUp() override {
        reg->closeKey(create(kCurrentUser, "setup"));
        Key k = kNullKey;
        ASSERT_EQ(bystander->openKeyEx(kCurrentUser, "setup", kKeyRead, &k), kSuccess);
        bystander->closeKey(k);
        ASSERT_EQ(reg->flushKey(kCurrentUser), kSuccess);
        ASSERT_EQ(logSize(), 0) << "a flush empties the log";
    }
    long long logSize() {
        struct stat st;
        if (::stat(dir.file("registry.db-wal").c_str(), &st) != 0) return -1;
        return static_cast<long long>(st.st_size);
    }
    void change(Registry& r, const char* name) {
        Key k = kNullKey;
        ASSERT_EQ(r.createKeyEx(kCurrentUser, name, 0, kKeyReadWrite, &k, nullptr), kSuccess);
        const unsigned char b = 7;
        ASSERT_EQ(r.setValueEx(k, "v", kRegBinary, &b, 1), kSuccess);
        r.closeKey(k);
    }
};

TEST_F(Flush, FlushKeyWritesTheLogBackOnlyWhenAsked) {
    change(*reg, "a");
    EXPECT_GT(logSize(), 0) << "a call does not flush";
    Key k = create(kCurrentUser, "a");
    EXPECT_EQ(reg->flushKey(k), kSuccess);
    EXPECT_EQ(logSize(), 0);
    EXPECT_EQ(reg->flushKey(kNullKey), kInvalidHandle);
    EXPECT_EQ(reg->flushKey(Key{0x7777}), kInvalidHandle);
    reg->closeKey(k);
}

TEST_F(Flush, ABatchIsFlushedLikeAnyCallOrAtItsCommitWhenAskedInside) {
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    change(*reg, "b");
    ASSERT_EQ(reg->commitBatch(), kSuccess);
    EXPECT_GT(logSize(), 0) << "a commit alone does not flush";
    ASSERT_EQ(reg->beginBatch(), kSuccess);
    change(*reg, "b2");
    EXPECT_EQ(reg->flushKey(kCurrentUser), kSuccess) << "waits for the commit";
    EXPECT_GT(logSize(), 0);
    ASSERT_EQ(reg->commitBatch(), kSuccess);
    EXPECT_EQ(logSize(), 0);
}

TEST_F(Flush, ARegistryThatChangedTheStoreFlushesWhenItGoes) {
    auto writer = makeScratchRegistry(dir.path());
    change(*writer, "c");
    EXPECT_GT(logSize(), 0);
    writer.reset();
    EXPECT_EQ(logSize(), 0);
    Key k = kNullKey;
    EXPECT_EQ(bystander->openKeyEx(kCurrentUser, "c", kKeyRead, &k), kSuccess);
    bystander->closeKey(k);
}

// A flush that writes the whole log back has synced the log before the
// write-back and the store file after it: that makes the changes durable,
// and syncing the log once more beforehand only waits for the disk. One that
// cannot write it back (a reader of an older state) syncs the log alone.
TEST_F(Flush, AWholeWriteBackSyncsTheLogAndTheFileOnceEach) {
    // Syncs counted, none failed; the registries open their connections
    // again through the counting VFS.
    faultvfs::Plan counting;
    counting.operations = faultvfs::kSync;
    ASSERT_TRUE(faultvfs::install(counting));
    struct Uninstall {
        ~Uninstall() { faultvfs::uninstall(); }
    } uninstall;
    auto writer = makeScratchRegistry(dir.path());
    change(*writer, "g");  // (SQLite syncs the header of a log it starts anew)
    auto before = faultvfs::operationsCounted();
    writer.reset();
    EXPECT_EQ(logSize(), 0);
    EXPECT_EQ(faultvfs::operationsCounted() - before, 2u) << "the log, then the store file";

    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("registry.db").c_str(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    writer = makeScratchRegistry(dir.path());
    change(*writer, "h");
    before = faultvfs::operationsCounted();
    writer.reset();
    EXPECT_GT(logSize(), 0) << "the reader's state is still in the log";
    EXPECT_EQ(faultvfs::operationsCounted() - before, 1u) << "the log alone";
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
}

TEST_F(Flush, ARegistryThatOnlyReadLeavesTheLogAlone) {
    change(*bystander, "d");  // the bystander's changes stay in the log
    const long long before = logSize();
    ASSERT_GT(before, 0);
    auto reader = makeScratchRegistry(dir.path());
    Key k = kNullKey;
    ASSERT_EQ(reader->createKeyEx(kCurrentUser, "d", 0, kKeyReadWrite, &k, nullptr), kSuccess)
        << "an existing key opens without a change";
    reader->closeKey(k);
    reader.reset();
    EXPECT_EQ(logSize(), before);
}

// Another process reading an older state of the store (a read transaction
// held open) cannot write the log back meanwhile; the flush still makes the
// change durable (the log is synced), says so, and leaves the write-back to
// a later flush.
TEST_F(Flush, AReaderOfAnOlderStateDoesNotMakeAFlushFail) {
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("registry.db").c_str(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    change(*reg, "e");
    EXPECT_EQ(reg->flushKey(kCurrentUser), kSuccess) << reg->lastFailureDetail();
    EXPECT_GT(logSize(), 0) << "the reader's state is still in the log";
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    change(*reg, "f");
    EXPECT_EQ(reg->flushKey(kCurrentUser), kSuccess);
    EXPECT_EQ(logSize(), 0);
}

}  // namespace
}  // namespace vrk::reg
