// HiveRegistry's value calls: queryValueEx, setValueEx, deleteValue and
// enumValue. hivex replaces a key's values as a whole list, so a change
// rewrites the list in its stored order.
#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/registry/hive/hive_registry_support.hpp"
#include "platform/registry/hive/hive_text.hpp"
#include "platform/registry/value_text.hpp"

namespace vrk::reg::hive {

namespace {

// Value types are any 32-bit number; hivex's enum names only some of them,
// so they pass through its type as bytes, never as enum values.
static_assert(sizeof(hive_type) == sizeof(std::uint32_t));

std::uint32_t typeNumber(const hive_type& t) {
    std::uint32_t n;
    std::memcpy(&n, &t, sizeof n);
    return n;
}

hive_set_value hivexValue(std::string& name, std::uint32_t type, std::string& raw) {
    hive_set_value v{};
    v.key = name.data();
    std::memcpy(&v.t, &type, sizeof type);
    v.len = raw.size();
    v.value = raw.data();
    return v;
}

// One value as the registry's callers see it.
struct Value {
    std::string name;
    std::uint32_t type = 0;
    std::string raw;  // the bytes in the hive
};

std::string takeString(char* s) {
    std::string out = s ? std::string(s) : std::string();
    std::free(s);
    return out;
}

// The values of node in stored order.
bool readValues(hive_h* h, std::size_t node, std::vector<Value>& out) {
    out.clear();
    hive_value_h* values = hivex_node_values(h, node);
    if (values == nullptr) return false;
    bool ok = true;
    for (hive_value_h* v = values; *v != 0 && ok; ++v) {
        Value value;
        value.name = takeString(hivex_value_key(h, *v));
        hive_type t{};
        std::size_t len = 0;
        char* data = hivex_value_value(h, *v, &t, &len);
        if (data == nullptr && len != 0) ok = false;
        value.type = typeNumber(t);
        if (data != nullptr) value.raw.assign(data, len);
        std::free(data);
        out.push_back(std::move(value));
    }
    std::free(values);
    return ok;
}

// The bytes a caller sees for stored bytes of type.
std::string callerBytes(std::uint32_t type, const std::string& raw) {
    std::string out;
    if (isTextType(type) && utf16leToBytes(raw, out)) return out;
    return raw;
}

// The index of the value named like name, or -1.
int find(const std::vector<Value>& values, std::string_view name) {
    const std::string key = sortName(name);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (sortName(values[i].name) == key) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

long HiveRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (data != nullptr && size == nullptr) return kInvalidParameter;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        long rc = walk(t, {}, false, nullptr);
        int at = -1;
        std::vector<Value> values;
        if (rc == kSuccess && t.hive < 0) rc = kFileNotFound;
        if (rc == kSuccess) {
            if (!readValues(hives_[t.hive]->file.handle(), t.node, values)) {
                throw Failure{kBadDb, hives_[t.hive]->mount.file + ": a value cannot be read"};
            }
            at = find(values, vname);
            if (at < 0) rc = kFileNotFound;
        }
        if (rc == kFileNotFound && data == nullptr && size != nullptr) *size = 0;
        if (rc != kSuccess) return rc;
        const Value& v = values[at];
        const std::string bytes = callerBytes(v.type, v.raw);
        const std::uint32_t need = static_cast<std::uint32_t>(bytes.size());
        if (data != nullptr && *size < need) {
            *size = need;
            if (type) *type = v.type;
            return kMoreData;
        }
        if (data != nullptr) copyValueBytes(data, *size, v.type, bytes);
        if (size) *size = need;
        if (type) *type = v.type;
        return kSuccess;
    });
}

long HiveRegistry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (data == nullptr && size != 0) return kNoAccess;
        if ((t.access & kSetValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        if (t.hive < 0) return kFileNotFound;
        if (!isUtf8(vname)) return kInvalidParameter;
        Hive& h = *hives_[t.hive];
        std::vector<Value> values;
        if (!readValues(h.file.handle(), t.node, values)) {
            throw Failure{kBadDb, h.mount.file + ": a value cannot be read"};
        }
        std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
        Value fresh{std::string(vname), type,
                    isTextType(type) ? bytesToUtf16le(bytes) : std::string(bytes)};
        if (fresh.raw.size() > kMaxValueBytes) {
            throw Failure{kNotEnoughMemory, h.mount.file + ": a value of " +
                                                std::to_string(fresh.raw.size()) +
                                                " bytes is larger than hivex writes"};
        }
        int at = find(values, vname);
        if (at >= 0) {
            fresh.name = values[at].name;  // the first spelling stays
            values[at] = std::move(fresh);
        } else {
            values.push_back(std::move(fresh));
        }
        writable(t.hive);
        std::vector<hive_set_value> list;
        list.reserve(values.size());
        for (Value& v : values) {
            list.push_back(hivexValue(v.name, v.type, v.raw));
        }
        if (hivex_node_set_values(h.file.handle(), t.node, list.size(), list.data(), 0) != 0) {
            changeFailed(h, "cannot set a value", errno);
        }
        h.file.markChanged();
        return kSuccess;
    });
}

long HiveRegistry::deleteValue(Key key, const char* valueName) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if ((t.access & kSetValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        if (t.hive < 0) return kFileNotFound;
        Hive& h = *hives_[t.hive];
        std::vector<Value> values;
        if (!readValues(h.file.handle(), t.node, values)) {
            throw Failure{kBadDb, h.mount.file + ": a value cannot be read"};
        }
        int at = find(values, vname);
        if (at < 0) return kFileNotFound;
        values.erase(values.begin() + at);
        writable(t.hive);
        std::vector<hive_set_value> list;
        for (Value& v : values) {
            list.push_back(hivexValue(v.name, v.type, v.raw));
        }
        if (hivex_node_set_values(h.file.handle(), t.node, list.size(), list.data(), 0) != 0) {
            changeFailed(h, "cannot delete a value", errno);
        }
        h.file.markChanged();
        return kSuccess;
    });
}

long HiveRegistry::enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                             std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr || nameSize == nullptr) return kInvalidParameter;
        if (data != nullptr && dataSize == nullptr) return kInvalidParameter;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        if (t.hive < 0) return kFileNotFound;
        Hive& h = *hives_[t.hive];
        std::vector<Value> values;
        if (!readValues(h.file.handle(), t.node, values)) {
            throw Failure{kBadDb, h.mount.file + ": a value cannot be read"};
        }
        if (index >= values.size()) return kNoMoreItems;
        const Value& v = values[index];
        const std::string bytes = callerBytes(v.type, v.raw);
        const std::uint32_t need = static_cast<std::uint32_t>(bytes.size());
        if (type) *type = v.type;
        const std::uint32_t room = dataSize ? *dataSize : 0;
        const bool dataFits = data == nullptr || room >= need;
        if (dataSize) *dataSize = need;
        if (v.name.size() + 1 > *nameSize || !dataFits) return kMoreData;
        std::memcpy(name, v.name.data(), v.name.size());
        name[v.name.size()] = '\0';
        *nameSize = static_cast<std::uint32_t>(v.name.size());
        if (data != nullptr) copyValueBytes(data, room, v.type, bytes);
        return kSuccess;
    });
}

}  // namespace vrk::reg::hive
