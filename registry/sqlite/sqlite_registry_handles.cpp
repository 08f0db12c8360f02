// SqliteRegistry's key handles: resolving a handle or a root to its key,
// handing out new handles and closing them, and the enumeration cursors a
// handle keeps with the stamp that tells whether they still hold.
#include "registry/sqlite/sqlite_registry_support.hpp"

#include <string>

namespace vrk::reg {

using namespace sqlitestore;

long SqliteRegistry::resolve(Key key, Target& target) {
    if (isRootKey(key)) {
        const int hive = hiveIndex(key);
        target = Target{hive, rootId(hive), kAllRights, nullptr, 0};
        return kSuccess;
    }
    auto it = handles_.find(key.value);
    if (it == handles_.end()) return kInvalidHandle;
    Handle& h = it->second;
    target = Target{h.hive, h.id, h.access, &h, h.depth};
    return kSuccess;
}

Key SqliteRegistry::addHandle(int hive, std::int64_t id, std::uint32_t access, std::size_t depth) {
    const std::uintptr_t value = newHandleValue(nextHandle_, handles_);
    handles_.emplace(value, Handle{hive, id, access, depth, Cursor{}});
    return Key{value};
}

bool SqliteRegistry::currentStamp(int hive, StoreStamp& stamp) {
    return quickRead(hive, [&](Connection& c, std::uint64_t epoch) {
        stamp = StoreStamp{};
        stamp.epoch = epoch;
        stamp.rollbacks = fileOf(hive).rollbacks;
        stamp.totalChanges = c.totalChanges();
        if (!c.walIndexHeader(stamp.walHeader)) {
            stamp.walHeader = {};
            Use v(c, Sql::dataVersion);
            v.step();
            stamp.dataVersion = v.integer(0);
        }
        return true;
    });
}

SqliteRegistry::Cursor& SqliteRegistry::valueCursor(const Target& t) {
    return t.handle ? t.handle->values : rootValueCursors_[t.hive];
}

SqliteRegistry::StoreStamp SqliteRegistry::stampOf(int hive, Connection& c, std::uint64_t epoch) {
    StoreStamp stamp;
    stamp.epoch = epoch;
    stamp.rollbacks = fileOf(hive).rollbacks;
    Use v(c, Sql::dataVersion);
    v.step();
    stamp.dataVersion = v.integer(0);
    stamp.totalChanges = c.totalChanges();
    return stamp;
}

long SqliteRegistry::closeKey(Key key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (key.value == atHand_.key) atHand_ = ListAtHand{};
    return closeHandleIn(handles_, key);
}

}  // namespace vrk::reg
