// SqliteRegistry's key calls: createKeyEx, openKeyEx, deleteKey and
// enumKey, with the access rights they grant and the path walk below a key.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg {

using namespace sqlitestore;

namespace {

// How many subkey names a walk by increasing index reads at a time.
constexpr std::uint32_t kSubkeysAhead = 64;

// Follows parts below start; kFileNotFound when a level is missing.
long walk(Connection& c, std::int64_t start, const std::vector<std::string_view>& parts,
          std::int64_t& id) {
    id = start;
    for (std::string_view part : parts) {
        Use u(c, Sql::lookupChild);
        std::string sort = sortName(part);
        std::string bytes = byteSortName(part);
        u.bind(1, id).bind(2, sort).bind(3, bytes);
        if (!u.step()) return kFileNotFound;
        id = u.integer(0);
    }
    return kSuccess;
}

// The same without a transaction (SqliteRegistry::quickRead): true when
// every level was found, which proves the path whole at the last lookup.
bool quickWalk(Connection& c, std::int64_t start, const std::vector<std::string_view>& parts,
               std::int64_t& id) {
    if (parts.empty()) {
        if (!keyAlive(c, start)) return false;
        id = start;
        return true;
    }
    return walk(c, start, parts, id) == kSuccess;
}

// Refuses a key that would lie deeper than kMaxKeyDepth levels below its root.
void checkDepth(std::size_t depth) {
    if (depth <= static_cast<std::size_t>(kMaxKeyDepth)) return;
    throw Failure{kBadKey, "a key " + std::to_string(depth) +
                               " levels below its root is refused: keys lie at most " +
                               std::to_string(kMaxKeyDepth) + " levels deep"};
}

}  // namespace

long SqliteRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t /*options*/,
                                 std::uint32_t access, Key* result, std::uint32_t* disposition) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        // Checks of the arguments themselves leave *result as it was; a
        // failure past them leaves kNullKey there.
        if (result == nullptr) return kBadKey;
        if (parent == kNullKey) return kInvalidHandle;
        *result = kNullKey;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        checkDepth(t.depth + parts.size());
        std::uint32_t rights = grantedRights(access);

        std::int64_t id = 0;
        bool created = false;
        long rc = kFileNotFound;
        // An existing key opens in a read transaction; the write lock is
        // taken only when a key must be created (or the store file set up).
        bool fileThere = quickRead(
            t.hive, [&](Connection& c, std::uint64_t) { return quickWalk(c, t.id, parts, id); });
        if (fileThere) {
            rc = kSuccess;
        } else {
            rc = withRead(t.hive, [&](Connection& c, std::uint64_t epoch) -> long {
                fileThere = epoch != 0;
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                return walk(c, t.id, parts, id);
            });
        }
        if (rc != kSuccess && rc != kFileNotFound) return rc;
        if (rc == kSuccess && wantsWrite(rights)) {
            if (!fileThere) {
                rc = kFileNotFound;  // a write handle on a store not yet made: make it
            } else if (fileOf(t.hive).connection->readOnly()) {
                throw Failure{kAccessDenied,
                              fileOf(t.hive).path + ": the registry store is read-only"};
            }
        }
        if (rc != kSuccess) {
            rc = withWrite(t.hive, [&](Connection& c) -> long {
                created = false;
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                id = t.id;
                for (std::string_view part : parts) {
                    std::string sort = sortName(part);
                    std::string bytes = byteSortName(part);
                    {
                        Use u(c, Sql::lookupChild);
                        u.bind(1, id).bind(2, sort).bind(3, bytes);
                        if (u.step()) {
                            id = u.integer(0);
                            created = false;
                            continue;
                        }
                    }
                    Use u(c, Sql::insertKey);
                    u.bind(1, id).bind(2, part).bind(3, sort);
                    u.step();
                    id = sqlite3_last_insert_rowid(c.db());
                    created = true;
                }
                return kSuccess;
            });
            if (rc != kSuccess) return rc;
        }
        if (disposition) *disposition = created ? kCreatedNewKey : kOpenedExistingKey;
        *result = (id == t.id && t.handle == nullptr)
                      ? parent
                      : addHandle(t.hive, id, rights, t.depth + parts.size());
        return kSuccess;
    });
}

long SqliteRegistry::openKeyEx(Key parent, const char* subKey, std::uint32_t access, Key* result) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        if (result == nullptr) return kInvalidParameter;
        if (parent == kNullKey) return kInvalidHandle;  // *result left as it was
        *result = kNullKey;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        std::uint32_t rights = grantedRights(access);
        std::int64_t id = 0;
        const bool found = quickRead(
            t.hive, [&](Connection& c, std::uint64_t) { return quickWalk(c, t.id, parts, id); });
        if (!found) {
            long rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                return walk(c, t.id, parts, id);
            });
            if (rc != kSuccess) return rc;
        }
        StoreFile& f = fileOf(t.hive);
        if (wantsWrite(rights) && f.connection && f.connection->readOnly()) {
            throw Failure{kAccessDenied, f.path + ": the registry store is read-only"};
        }
        *result = (id == t.id && t.handle == nullptr)
                      ? parent
                      : addHandle(t.hive, id, rights, t.depth + parts.size());
        return kSuccess;
    });
}

long SqliteRegistry::deleteKey(Key key, const char* subKey) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        // A null name is refused; "" names the key itself.
        if (subKey == nullptr) return kInvalidParameter;
        Target t;
        if (long rc = resolve(key, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        if (parts.empty() && t.handle == nullptr) return kAccessDenied;  // a root stays
        if (hiveFileMissing(t.hive)) return t.handle == nullptr ? kFileNotFound : kKeyDeleted;
        return withWrite(t.hive, [&](Connection& c) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            std::int64_t id = 0;
            if (long rc = walk(c, t.id, parts, id)) return rc;
            {
                Use u(c, Sql::hasChild);
                u.bind(1, id);
                if (u.step()) return kAccessDenied;
            }
            Use(c, Sql::deleteKeyValues).bind(1, id).step();
            Use(c, Sql::deleteKeyRow).bind(1, id).step();
            return kSuccess;
        });
    });
}

long SqliteRegistry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr) return kInvalidParameter;
        if ((t.access & kEnumerateSubKeys) == 0) return kAccessDenied;
        SubkeyWindow& w = keyWindow(t);
        const std::string* found = nullptr;
        // A walk by increasing index reads kSubkeysAhead names in one
        // transaction; the calls that follow take theirs from the window
        // while the store's stamp shows that nothing changed.
        StoreStamp now;
        if (w.valid && index >= w.first && currentStamp(t.hive, now) && now == w.stamp) {
            const std::uint32_t at = index - w.first;
            if (at < w.names.size()) {
                found = &w.names[at];
            } else if (at == w.names.size() && w.atEnd) {
                return kNoMoreItems;
            }
        }
        if (found == nullptr) {
            long rc = withRead(t.hive, [&](Connection& c, std::uint64_t epoch) -> long {
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                const StoreStamp stamp = stampOf(c, epoch);
                // The next window continues after the last name when the
                // index follows it; otherwise it is counted from the start.
                const bool follows = w.valid && w.stamp == stamp && !w.names.empty() &&
                                     index == w.first + w.names.size();
                Use u(c, follows ? Sql::childrenAfter : Sql::childrenAtOffset);
                u.bind(1, t.id);
                if (follows) {
                    u.bind(2, w.lastSortName);
                } else {
                    u.bind(2, static_cast<std::int64_t>(index));
                }
                u.bind(3, static_cast<std::int64_t>(kSubkeysAhead));
                w.valid = false;
                w.names.clear();
                while (u.step()) {
                    w.names.emplace_back(u.bytes(0));
                    w.lastSortName.assign(u.bytes(1));
                }
                w.valid = true;
                w.stamp = stamp;
                w.first = index;
                w.atEnd = w.names.size() < kSubkeysAhead;
                return w.names.empty() ? kNoMoreItems : kSuccess;
            });
            if (rc != kSuccess) return rc;
            found = &w.names.front();
        }
        if (found->size() + 1 > nameSize) return kMoreData;
        std::memcpy(name, found->data(), found->size());
        name[found->size()] = '\0';
        return kSuccess;
    });
}

}  // namespace vrk::reg
