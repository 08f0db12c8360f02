// SqliteRegistry's key calls: createKeyEx, openKeyEx, deleteKey and
// enumKey, with the access rights they grant and the path walk below a key.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "registry/sqlite/sqlite_registry_support.hpp"

namespace vrk::reg {

using namespace sqlitestore;

namespace {

// How many subkey names a walk by increasing index reads at least.
constexpr std::uint32_t kSubkeysAhead = 64;
// Up to how many bytes, roughly, the found cache of a store file holds.
constexpr std::size_t kFoundCacheBytes = 1 << 20;
// How many keys' subkey lists a store file keeps at most.
constexpr std::size_t kMaxSubkeyLists = 64;
// Up to how many subkeys a list is checked after a change elsewhere rather
// than read again (the check counts the key's subkeys in the index, about a
// twentieth of the cost of reading a name).
constexpr std::int64_t kCheckedListLimit = 4096;

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

// Whether the keys added and removed (changes) left the subkeys of key id
// as they were, ids being those of its subkeys read so far; false too when
// the store cannot tell at once.
bool subkeysLeftAlone(Connection& c, const Connection::KeyChanges& changes, std::int64_t id,
                      const std::vector<std::int64_t>& ids) {
    for (std::int64_t removed : changes.removed) {
        if (removed == id || std::find(ids.begin(), ids.end(), removed) != ids.end()) return false;
    }
    try {
        for (std::int64_t added : changes.added) {
            Use u(c, Sql::keyParent);
            u.bind(1, added);
            if (u.step() && u.integer(0) == id) return false;  // gone again: not a subkey
        }
    } catch (const SqlError&) {
        return false;
    }
    return true;
}

// Refuses a key that would lie deeper than kMaxKeyDepth levels below its root.
void checkDepth(std::size_t depth) {
    if (depth <= static_cast<std::size_t>(kMaxKeyDepth)) return;
    throw Failure{kBadKey, "a key " + std::to_string(depth) +
                               " levels below its root is refused: keys lie at most " +
                               std::to_string(kMaxKeyDepth) + " levels deep"};
}

}  // namespace

long SqliteRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                                 std::uint32_t access, Key* result, std::uint32_t* disposition) {
    return createKeyExWithClass(parent, subKey, nullptr, options, access, result, disposition);
}

long SqliteRegistry::createKeyExWithClass(Key parent, const char* subKey, const char* keyClass,
                                          std::uint32_t options, std::uint32_t access, Key* result,
                                          std::uint32_t* disposition) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        if (long rc = startKeyCall(parent, result, kBadKey)) return rc;
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
        bool fileThere = quickPath(t.hive, t.id, parts, id);
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
            const std::string_view givenClass(keyClass ? keyClass : "");
            const std::int64_t isVolatile = (options & kRegOptionVolatile) ? 1 : 0;
            rc = withWrite(t.hive, [&](Connection& c) -> long {
                created = false;
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                id = t.id;
                const auto now = static_cast<std::int64_t>(fileTimeNow());
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
                    if (!created && !isVolatile) {
                        // Below a key of ours that lasts, every new level lasts too.
                        Use v(c, Sql::keyVolatile);
                        v.bind(1, id);
                        if (v.step() && v.integer(0) != 0) return kChildMustBeVolatile;
                    }
                    Use(c, Sql::touchKey).bind(1, id).bind(2, now).step();
                    Use u(c, Sql::insertKey);
                    u.bind(1, id).bind(2, part).bind(3, sort).bind(4, givenClass);
                    u.bind(5, isVolatile).bind(6, now);
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
        if (long rc = startKeyCall(parent, result, kInvalidParameter)) return rc;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitOpenPath(parent, subKey, parts)) return rc;
        std::uint32_t rights = grantedRights(access);
        std::int64_t id = 0;
        const bool found = quickPath(t.hive, t.id, parts, id);
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
            Use(c, Sql::touchParent)
                .bind(1, id)
                .bind(2, static_cast<std::int64_t>(fileTimeNow()))
                .step();
            Use(c, Sql::deleteKeyValues).bind(1, id).step();
            Use(c, Sql::deleteKeyRow).bind(1, id).step();
            return kSuccess;
        });
    });
}

SqliteRegistry::FoundCache* SqliteRegistry::foundCache(int hive, bool stamped,
                                                       const StoreStamp& now) {
    if (!stamped) return nullptr;
    FoundCache& cache = fileOf(hive).found;
    if (!(cache.stamp == now) || cache.size > kFoundCacheBytes) {
        cache.children.clear();
        cache.alive.clear();
        cache.values.clear();
        cache.size = 0;
        cache.stamp = now;
    }
    return &cache;
}

bool SqliteRegistry::quickPath(int hive, std::int64_t start,
                               const std::vector<std::string_view>& parts, std::int64_t& id) {
    // The stamp comes first: what is read after it is kept under it, so a
    // change landing in between only empties the cache at the next call.
    StoreStamp now;
    FoundCache* cache = foundCache(hive, currentStamp(hive, now), now);
    return quickRead(hive, [&](Connection& c, std::uint64_t) {
        id = start;
        if (parts.empty()) {
            if (cache && cache->alive.count(start)) return true;
            if (!keyAlive(c, start)) return false;
            if (cache) {
                cache->alive.emplace(start, true);
                cache->size += 32;
            }
            return true;
        }
        // A key found below its parent proves the path whole at that read:
        // a key with subkeys is never deleted, and ids are never reused.
        for (std::string_view part : parts) {
            std::string sort = sortName(part);
            std::string bytes = byteSortName(part);
            std::string known;
            if (cache) {
                known = lookupKey(id, sort, bytes);
                auto it = cache->children.find(known);
                if (it != cache->children.end()) {
                    id = it->second;
                    continue;
                }
            }
            Use u(c, Sql::lookupChild);
            u.bind(1, id).bind(2, sort).bind(3, bytes);
            if (!u.step()) return false;
            id = u.integer(0);
            if (cache) {
                cache->size += known.size() + 48;
                cache->children.emplace(std::move(known), id);
            }
        }
        return true;
    });
}

long SqliteRegistry::subkeyList(const Target& t, const StoreStamp& now, std::uint32_t index,
                                SubkeyList*& list) {
    StoreFile& f = fileOf(t.hive);
    auto it = f.subkeyLists.find(t.id);
    if (it == f.subkeyLists.end()) {
        if (f.subkeyLists.size() >= kMaxSubkeyLists) {
            f.subkeyLists.clear();
            atHand_ = ListAtHand{};
        }
        it = f.subkeyLists.emplace(t.id, SubkeyList{}).first;
    }
    SubkeyList& l = it->second;
    // A list read before commits of this connection alone still holds when
    // they added no subkey here and removed neither one of its subkeys nor
    // the key (sqlitedb::Connection::keySetGeneration).
    if (l.read && !(l.stamp == now) && f.connection && l.stamp.epoch == now.epoch) {
        const auto* changes = f.connection->carriedChanges(now.walHeader, l.generation);
        if (changes != nullptr && subkeysLeftAlone(*f.connection, *changes, t.id, l.ids))
            l.stamp = now;
    }
    const bool current = l.read && l.stamp == now;
    if (current && (index < l.size() || l.complete)) {
        list = &l;
        return kSuccess;
    }
    // One read transaction checks the list (after a change elsewhere),
    // starts it again when it no longer holds, and reads on from its last
    // name at least as far as index and at least as many names again as
    // it holds (a long walk takes few reads). Its rows join the list only
    // once the read has succeeded.
    bool restart = false;
    bool readRows = false;
    SubkeyList more;
    long rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
        more = SubkeyList{};
        readRows = false;
        if (!keyAlive(c, t.id)) return kKeyDeleted;
        // Only a complete list can be checked: its count and highest id
        // are those of every subkey.
        restart = !l.read || (!current && (!l.complete || l.count > kCheckedListLimit));
        if (!restart && !current) {
            Use u(c, Sql::childrenSummary);
            u.bind(1, t.id);
            u.step();
            restart = u.integer(0) != l.count || u.integer(1) != l.maxId;
        }
        const std::uint32_t have = restart ? 0 : static_cast<std::uint32_t>(l.size());
        if (!restart && (index < have || l.complete)) return kSuccess;
        const std::int64_t want =
            std::max<std::int64_t>(std::int64_t{index} + 1 - have, std::max(kSubkeysAhead, have));
        Use u(c, have > 0 ? Sql::childrenAfter : Sql::childrenAtOffset);
        u.bind(1, t.id);
        if (have > 0) {
            u.bind(2, l.lastSortName);
        } else {
            u.bind(2, std::int64_t{0});
        }
        u.bind(3, want);
        while (u.step()) {
            more.names.append(u.bytes(0));
            more.ends.push_back(static_cast<std::uint32_t>(more.names.size()));
            more.lastSortName.assign(u.bytes(1));
            more.maxId = std::max(more.maxId, u.integer(2));
            more.ids.push_back(u.integer(2));
        }
        readRows = true;
        more.complete = static_cast<std::int64_t>(more.ends.size()) < want;
        return kSuccess;
    });
    if (rc != kSuccess) {
        if (atHand_.list == &it->second) atHand_ = ListAtHand{};
        f.subkeyLists.erase(it);
        list = nullptr;
        return rc;
    }
    if (restart) {
        l = SubkeyList{};
        l.read = true;
    }
    if (readRows) {
        const std::uint32_t base = static_cast<std::uint32_t>(l.names.size());
        l.names += more.names;
        for (std::uint32_t end : more.ends) l.ends.push_back(base + end);
        l.ids.insert(l.ids.end(), more.ids.begin(), more.ids.end());
        if (!more.ends.empty()) l.lastSortName = std::move(more.lastSortName);
        l.maxId = std::max(l.maxId, more.maxId);
        l.complete = more.complete;
        l.count = static_cast<std::int64_t>(l.size());
    }
    l.stamp = now;
    l.generation = f.connection ? f.connection->keySetGeneration(now.walHeader) : 0;
    list = &l;
    return kSuccess;
}

bool SqliteRegistry::enumAtHand(Key key, std::uint32_t index, char* name, std::uint32_t nameSize,
                                long& rc) {
    if (atHand_.list == nullptr || key.value != atHand_.key || name == nullptr ||
        batchDepth_ != 0 || (atHand_.access & kEnumerateSubKeys) == 0) {
        return false;
    }
    // A forked child goes the long way, where checkFork starts it afresh
    // (forks_ is ~0 where forks are not counted).
    if (forks_ == ~0u || forkCount.load(std::memory_order_relaxed) != forks_) return false;
    const SubkeyList* l = atHand_.list;
    // The stamp of the list, taken as currentStamp takes it: the same
    // connection, no batch ended since, no change of its own and the log's
    // header as it was (a stamp from data_version goes the long way).
    const StoreFile& f = fileOf(atHand_.hive);
    const StoreStamp& s = l->stamp;
    if (!f.connection || !f.ready || f.epoch != s.epoch || f.rollbacks != s.rollbacks ||
        s.dataVersion != 0 || f.connection->totalChanges() != s.totalChanges ||
        !f.connection->walIndexHeaderIs(s.walHeader)) {
        return false;
    }
    if (index < l->size()) {
        const std::string_view found = l->at(index);
        if (found.size() + 1 > nameSize) {
            rc = kMoreData;
        } else {
            std::memcpy(name, found.data(), found.size());
            name[found.size()] = '\0';
            rc = kSuccess;
        }
    } else if (l->complete) {
        rc = kNoMoreItems;
    } else {
        return false;  // read further first
    }
    if (rc != kSuccess) callFailureDetail().clear();
    rc = finish(rc);
    return true;
}

long SqliteRegistry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (long rc = 0; enumAtHand(key, index, name, nameSize, rc)) return rc;
    return guarded([&]() -> long {
        enterCall(lock);
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr) return kInvalidParameter;
        if ((t.access & kEnumerateSubKeys) == 0) return kAccessDenied;
        // The names come from the key's list while the store's stamp shows
        // that nothing changed since they were read; the stamp is taken
        // before any read, so a change that lands in between only makes
        // the next call read again.
        std::string_view found;
        std::string one;
        StoreStamp now;
        if (currentStamp(t.hive, now)) {
            SubkeyList* list = nullptr;
            if (long rc = subkeyList(t, now, index, list)) return rc;
            atHand_ = ListAtHand{key.value, t.hive, t.access, list};
            if (index >= list->size()) return kNoMoreItems;
            found = list->at(index);
        } else {
            // No store file yet, or busy: one name in a transaction.
            long rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                Use u(c, Sql::childrenAtOffset);
                u.bind(1, t.id).bind(2, static_cast<std::int64_t>(index)).bind(3, std::int64_t{1});
                if (!u.step()) return kNoMoreItems;
                one.assign(u.bytes(0));
                return kSuccess;
            });
            if (rc != kSuccess) return rc;
            found = one;
        }
        if (found.size() + 1 > nameSize) return kMoreData;
        std::memcpy(name, found.data(), found.size());
        name[found.size()] = '\0';
        return kSuccess;
    });
}

long SqliteRegistry::queryInfoKey(Key key, char* keyClass, std::uint32_t* classSize,
                                  KeyInfo* info) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        if (keyClass != nullptr && classSize == nullptr) return kInvalidParameter;
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        std::string ownClass;
        KeyInfo found;
        long rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
            found = KeyInfo{};
            {
                Use u(c, Sql::keyInfo);
                u.bind(1, t.id);
                if (!u.step()) return kKeyDeleted;
                ownClass.assign(u.bytes(0));
                found.lastWriteTime = static_cast<std::uint64_t>(u.integer(1));
            }
            Use children(c, Sql::childrenInfo);
            children.bind(1, t.id);
            while (children.step()) {
                ++found.subKeys;
                found.maxSubKeyLength =
                    std::max(found.maxSubKeyLength,
                             static_cast<std::uint32_t>(nameLength(children.bytes(0))));
                found.maxClassLength =
                    std::max(found.maxClassLength,
                             static_cast<std::uint32_t>(nameLength(children.bytes(1))));
            }
            Use values(c, Sql::valuesInfo);
            values.bind(1, t.id);
            while (values.step()) {
                ++found.values;
                found.maxValueNameLength =
                    std::max(found.maxValueNameLength,
                             static_cast<std::uint32_t>(nameLength(values.bytes(0))));
                found.maxValueLength = std::max(
                    found.maxValueLength,
                    keptDataSize(static_cast<std::uint32_t>(values.integer(1)), values.bytes(2)));
            }
            return kSuccess;
        });
        if (rc != kSuccess) return rc;
        if (info != nullptr) *info = found;
        return giveKeyClass(ownClass, keyClass, classSize);
    });
}

}  // namespace vrk::reg
