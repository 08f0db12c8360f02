// A store file of the layout before keys kept their class, volatility and
// last-write time opens, and is brought up to date by its first use.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "registry/registry_test_support.hpp"
#include "registry/store_file_test_support.hpp"

namespace vrk::reg {
namespace {

// The earlier layout (version 3) with one key below HKEY_CURRENT_USER and a
// value, as that version wrote it.
const char kVersion3Store[] =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  sortname BLOB NOT NULL,"
    "  UNIQUE(parent, sortname));"
    "CREATE TABLE vals("
    "  id INTEGER PRIMARY KEY,"
    "  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  upname BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, upname));"
    "CREATE INDEX vals_order ON vals(key);"
    "INSERT INTO keys(id, parent, name, sortname) VALUES"
    "  (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
    "  (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
    "  (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
    "  (4, 0, 'HKEY_USERS', 'HKEY_USERS');"
    "INSERT INTO keys(parent, name, sortname) VALUES"
    "  (2, CAST('Old' AS BLOB), X'024F4C44');"
    "INSERT INTO vals(key, name, upname, type, data) VALUES"
    "  (5, CAST('v' AS BLOB), X'0256', 1, CAST('kept' AS BLOB));"
    "PRAGMA application_id = 1448233810;"
    "PRAGMA user_version = 3;";

std::int64_t userVersion(const std::string& path) {
    sqlite3* db = nullptr;
    std::int64_t version = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW) {
            version = sqlite3_column_int64(s, 0);
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return version;
}

// Whether the file holds an index of that name.
bool hasIndex(const std::string& path, const char* name) {
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1",
                               -1, &s, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
            found = sqlite3_step(s) == SQLITE_ROW;
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return found;
}

class SchemaUpgrade : public testing::ScratchStore {};

TEST_F(SchemaUpgrade, ANewStoreWalksSubkeysOnTheirOwnIndex) {
    Key k = kNullKey;
    ASSERT_EQ(reg->createKeyEx(kCurrentUser, "made", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    reg->closeKey(k);
    reg.reset();
    EXPECT_TRUE(hasIndex(dir.file("registry.db"), "keys_walk"));
}

TEST_F(SchemaUpgrade, AStoreOfTheLayoutWithoutKeyInfoIsBroughtUpToDate) {
    reg.reset();
    const std::string file = dir.file("registry.db");
    testing::runSql(file, kVersion3Store);
    reg = makeScratchRegistry(dir.path());

    Key old = kNullKey;
    ASSERT_EQ(open(kCurrentUser, "old", &old), kSuccess) << reg->lastFailureDetail();
    EXPECT_EQ(bytesOf(old, "V"), "kept") << "names folded by that version are found";
    vrk::reg::KeyInfo info;
    std::uint32_t classSize = 99;
    ASSERT_EQ(reg->queryInfoKey(old, nullptr, &classSize, &info), kSuccess)
        << reg->lastFailureDetail();
    EXPECT_EQ(classSize, 0u) << "no class";
    EXPECT_NE(info.lastWriteTime, 0u) << "a key of that version gets a time";
    EXPECT_EQ(info.values, 1u);
    EXPECT_EQ(info.maxValueLength, 8u);
    EXPECT_EQ(userVersion(file), 6);
    EXPECT_TRUE(hasIndex(file, "keys_walk")) << "the walk's index is added";

    Key sub = kNullKey;
    ASSERT_EQ(reg->createKeyExWithClass(old, "new", "its class", kRegOptionVolatile, kKeyReadWrite,
                                        &sub, nullptr),
              kSuccess);
    classSize = 0;
    EXPECT_EQ(reg->queryInfoKey(sub, nullptr, &classSize, nullptr), kSuccess);
    EXPECT_EQ(classSize, 9u);
    Key below = kNullKey;
    EXPECT_EQ(reg->createKeyEx(sub, "lasting", 0, kKeyReadWrite, &below, nullptr),
              kChildMustBeVolatile);
    reg->closeKey(sub);
    reg->closeKey(old);

    // What the store keeps, it keeps across a reopen.
    reg.reset();
    reg = makeScratchRegistry(dir.path());
    ASSERT_EQ(open(kCurrentUser, "old\\new", &sub), kSuccess);
    classSize = 0;
    EXPECT_EQ(reg->queryInfoKey(sub, nullptr, &classSize, nullptr), kSuccess);
    EXPECT_EQ(classSize, 9u);
    EXPECT_EQ(reg->createKeyEx(sub, "lasting", 0, kKeyReadWrite, &below, nullptr),
              kChildMustBeVolatile);
    reg->closeKey(sub);
}

}  // namespace
}  // namespace vrk::reg
