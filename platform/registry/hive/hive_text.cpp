// The hive's own text rules: which value types hold text, and the name used to
// look names up and order them.
#include "platform/registry/hive/hive_text.hpp"

#include "platform/registry/sqlite/sqlite_names.hpp"

namespace vrk::reg::hive {

bool isTextType(unsigned type) { return type == 1 || type == 2 || type == 7; }

std::string sortName(std::string_view name) {
    // The SQLite store's folding: Unicode's simple upper-case mapping of each
    // UTF-16 code unit, so both stores find and order names alike.
    return sqlitestore::sortName(name);
}

}  // namespace vrk::reg::hive
