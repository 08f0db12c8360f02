// HiveRegistry's value calls: queryValueEx, setValueEx, deleteValue and
// enumValue. hivex replaces a key's values as a whole list, so a change
// rewrites the list in its stored order.
#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "registry/hive/hive_registry.hpp"
#include "registry/name_folding.hpp"
#include "registry/registry_rules.hpp"
#include "registry/store_call.hpp"
#include "registry/hive/hive_text.hpp"
#include "registry/value_text.hpp"

namespace vrk::reg::hive {

namespace {

// Value types are any 32-bit number; hivex's enum names only some of them,
// so they pass through its type as bytes, never as enum values.
static_assert(sizeof(hive_type) == sizeof(std::uint32_t));


hive_set_value hivexValue(StoredValue& v) {
    hive_set_value out{};
    out.key = v.name.data();
    std::memcpy(&out.t, &v.type, sizeof v.type);
    out.len = v.raw.size();
    out.value = v.raw.data();
    return out;
}

using Value = StoredValue;

// The bytes a caller sees for stored bytes of type.
std::string callerBytes(std::uint32_t type, const std::string& raw) {
    if (isTextValueType(type)) return storedTextAsBytes(raw);
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

std::vector<StoredValue> HiveRegistry::valuesOf(Hive& h, Node node) {
    if (isAdded(node)) return addedKey(h, node).values;
    std::vector<StoredValue> values;
    std::string why;
    if (!readStoredValues(h.file.handle(), node, values, &why)) damaged(h, node, why);
    return values;
}

void HiveRegistry::setValues(Hive& h, Node node, std::vector<StoredValue>& values,
                             const char* what) {
    if (isAdded(node)) {
        addedKey(h, node).values = values;
        h.file.markChanged();
        return;
    }
    std::vector<hive_set_value> list;
    list.reserve(values.size());
    for (StoredValue& v : values) list.push_back(hivexValue(v));
    if (hivex_node_set_values(h.file.handle(), node, list.size(), list.data(), 0) != 0) {
        changeFailed(h, what, errno);
    }
    h.file.markChanged();
}

void HiveRegistry::changeValues(Hive& h, int hive, Node node, std::vector<StoredValue> old,
                                std::vector<StoredValue>& values, const char* what) {
    for (const StoredValue& v : old) {
        if (hasZero(v.name)) {
            throw Failure{kAccessDenied,
                          h.mount.file + ": key " + pathOf(h, node) + ": its value \"" +
                              v.name.substr(0, v.name.find('\0')) +
                              "\\0...\" has a zero character in its name, which hivex would "
                              "cut short; the key is not changed"};
        }
    }
    writable(hive);
    if (batchDepth_ > 0) h.undo.push_back(Undo{Undo::restoreValues, node, 0, {}, std::move(old)});
    setValues(h, node, values, what);
    touch(h, node);
}

long HiveRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        std::string_view vname;
        if (long rc = checkQueryArguments(t.access, data, size, valueName, vname)) return rc;
        long rc = walk(t, {}, false, nullptr);
        int at = -1;
        std::vector<Value> values;
        if (rc == kSuccess && t.hive < 0) rc = kFileNotFound;
        if (rc == kSuccess) {
            values = valuesOf(*hives_[t.hive], t.node);
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
    return guardedCall([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        std::string_view vname;
        if (long rc = checkSetArguments(t.access, data, size, valueName, vname)) return rc;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        if (t.hive < 0) return kFileNotFound;
        if (!isUtf8(vname)) return kInvalidParameter;
        Hive& h = *hives_[t.hive];
        std::vector<Value> values = valuesOf(h, t.node);
        std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
        Value fresh{std::string(vname), type,
                    isTextValueType(type) ? bytesToUtf16le(bytes) : std::string(bytes)};
        if (fresh.raw.size() > kMaxValueBytes) {
            throw Failure{kNotEnoughMemory, h.mount.file + ": a value of " +
                                                std::to_string(fresh.raw.size()) +
                                                " bytes is larger than hivex writes"};
        }
        std::vector<Value> old = values;
        int at = find(values, vname);
        if (at >= 0) {
            fresh.name = values[at].name;  // the first spelling stays
            values[at] = std::move(fresh);
        } else {
            values.push_back(std::move(fresh));
        }
        changeValues(h, t.hive, t.node, std::move(old), values, "cannot set a value");
        return kSuccess;
    });
}

long HiveRegistry::deleteValue(Key key, const char* valueName) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if ((t.access & kSetValue) == 0) return kAccessDenied;
        std::string_view vname;
        if (long rc = checkValueName(valueName, vname)) return rc;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        if (t.hive < 0) return kFileNotFound;
        Hive& h = *hives_[t.hive];
        std::vector<Value> values = valuesOf(h, t.node);
        int at = find(values, vname);
        if (at < 0) return kFileNotFound;
        std::vector<Value> old = values;
        values.erase(values.begin() + at);
        changeValues(h, t.hive, t.node, std::move(old), values, "cannot delete a value");
        return kSuccess;
    });
}

long HiveRegistry::enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                             std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr || nameSize == nullptr) return kInvalidParameter;
        if (data != nullptr && dataSize == nullptr) return kInvalidParameter;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        if (t.hive < 0) return kFileNotFound;
        Hive& h = *hives_[t.hive];
        std::vector<Value> values = valuesOf(h, t.node);
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
