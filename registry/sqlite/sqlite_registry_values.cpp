// SqliteRegistry's value calls: queryValueEx, setValueEx, deleteValue and
// enumValue.
#include <cstring>
#include <string>
#include <string_view>

#include "registry/sqlite/sqlite_registry_support.hpp"
#include "registry/value_text.hpp"

namespace vrk::reg {

using namespace sqlitestore;

namespace {

// Values up to this size are kept in the found cache.
constexpr std::size_t kCachedValueBytes = 4096;

}  // namespace

long SqliteRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* size) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        Target t;
        if (long rc = resolve(key, t)) return rc;
        std::string_view vname;
        if (long rc = checkQueryArguments(t.access, data, size, valueName, vname)) return rc;
        std::string upper = sortName(vname);
        std::string byteWise = byteSortName(vname);
        std::uint32_t storedType = 0;
        std::string bytes;
        auto query = [&](Connection& c) {
            Use u(c, Sql::queryValue);
            u.bind(1, t.id).bind(2, upper).bind(3, byteWise);
            if (!u.step()) return false;
            storedType = static_cast<std::uint32_t>(u.integer(0));
            bytes.assign(u.bytes(1));
            return true;
        };
        // A value found proves its key alive (a key's values go with it);
        // only a missing one needs the transaction that tells why. A small
        // value found once is kept while the store's stamp stays the same.
        long rc = kSuccess;
        StoreStamp now;
        FoundCache* cache = foundCache(t.hive, currentStamp(t.hive, now), now);
        const std::string known = cache ? lookupKey(t.id, upper, byteWise) : std::string();
        auto quick = [&](Connection& c, std::uint64_t) {
            if (cache) {
                auto it = cache->values.find(known);
                if (it != cache->values.end()) {
                    storedType = it->second.type;
                    bytes = it->second.bytes;
                    return true;
                }
            }
            if (!query(c)) return false;
            if (cache && bytes.size() <= kCachedValueBytes) {
                cache->size += known.size() + bytes.size() + 64;
                cache->values.emplace(known, FoundCache::Value{storedType, bytes});
            }
            return true;
        };
        if (!quickRead(t.hive, quick)) {
            rc = withRead(t.hive, [&](Connection& c, std::uint64_t) -> long {
                if (!keyAlive(c, t.id)) return kKeyDeleted;
                return query(c) ? kSuccess : kFileNotFound;
            });
        }
        if (rc == kFileNotFound && data == nullptr && size != nullptr) *size = 0;
        if (rc != kSuccess) return rc;
        std::uint32_t need = static_cast<std::uint32_t>(bytes.size());
        if (data != nullptr && *size < need) {
            *size = need;
            if (type) *type = storedType;
            return kMoreData;
        }
        if (data != nullptr) copyValueBytes(data, *size, storedType, bytes);
        if (size) *size = need;
        if (type) *type = storedType;
        return kSuccess;
    });
}

long SqliteRegistry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                                const unsigned char* data, std::uint32_t size) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        Target t;
        if (long rc = resolve(key, t)) return rc;
        std::string_view vname;
        if (long rc = checkSetArguments(t.access, data, size, valueName, vname)) return rc;
        std::string upper = sortName(vname);
        std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
        return withWrite(t.hive, [&](Connection& c) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Use u(c, Sql::upsertValue);
            u.bind(1, t.id).bind(2, vname).bind(3, upper);
            u.bind(4, static_cast<std::int64_t>(type)).bind(5, bytes);
            u.step();
            return kSuccess;
        });
    });
}

long SqliteRegistry::deleteValue(Key key, const char* valueName) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if ((t.access & kSetValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        if (hiveFileMissing(t.hive)) return t.handle == nullptr ? kFileNotFound : kKeyDeleted;
        std::string upper = sortName(vname);
        std::string byteWise = byteSortName(vname);
        return withWrite(t.hive, [&](Connection& c) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Use u(c, Sql::deleteValue);
            u.bind(1, t.id).bind(2, upper).bind(3, byteWise);
            u.step();
            return u.changes() == 0 ? kFileNotFound : kSuccess;
        });
    });
}

long SqliteRegistry::enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                               std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    std::unique_lock<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        enterCall(lock);
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr || nameSize == nullptr) return kInvalidParameter;
        if (data != nullptr && dataSize == nullptr) return kInvalidParameter;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        std::string foundName;
        std::string bytes;
        std::uint32_t storedType = 0;
        long rc = withRead(t.hive, [&](Connection& c, std::uint64_t epoch) -> long {
            if (!keyAlive(c, t.id)) return kKeyDeleted;
            Cursor& cur = valueCursor(t);
            const StoreStamp now = stampOf(t.hive, c, epoch);
            const bool follow = cur.leadsTo(now, index);
            Use u(c, follow ? Sql::valueFrom : Sql::valueAtOffset);
            const std::int64_t from = cur.lastId + (index == cur.index ? 0 : 1);
            u.bind(1, t.id).bind(2, follow ? from : static_cast<std::int64_t>(index));
            if (!u.step()) {
                cur.valid = false;
                return kNoMoreItems;
            }
            foundName.assign(u.bytes(1));
            storedType = static_cast<std::uint32_t>(u.integer(2));
            bytes.assign(u.bytes(3));
            cur.standAt(now, index);
            cur.lastId = u.integer(0);
            return kSuccess;
        });
        if (rc != kSuccess) return rc;
        // The type and the data size come back whether or not the buffers
        // are large enough; the name, its length and the data only when
        // both are.
        std::uint32_t need = static_cast<std::uint32_t>(bytes.size());
        if (type) *type = storedType;
        const std::uint32_t room = dataSize ? *dataSize : 0;
        const bool dataFits = data == nullptr || room >= need;
        if (dataSize) *dataSize = need;
        if (foundName.size() + 1 > *nameSize || !dataFits) return kMoreData;
        std::memcpy(name, foundName.data(), foundName.size());
        name[foundName.size()] = '\0';
        *nameSize = static_cast<std::uint32_t>(foundName.size());
        if (data != nullptr) copyValueBytes(data, room, storedType, bytes);
        return kSuccess;
    });
}

}  // namespace vrk::reg
