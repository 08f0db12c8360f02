// Tests of our store's own files (Linux only): SQL run on a store file
// directly, as another program would.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace vrk::reg::testing {

inline void runSql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

}  // namespace vrk::reg::testing
