// The process-wide registry selection and the legacy plain forms, built from
// the Ex calls.
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/process.hpp"
#include "registry/iregistry.hpp"
#include "registry/registry_result.hpp"
#include "registry/save_failure.hpp"

namespace vrk::reg {

namespace {

std::atomic<Registry*> installed{nullptr};
std::atomic<SaveFailureReporter> reporter{nullptr};

bool isEmpty(const char* s) { return s == nullptr || *s == '\0'; }

}  // namespace

Registry& registry() {
    Registry* r = installed.load(std::memory_order_acquire);
    return r ? *r : platformRegistry();
}

void setRegistry(Registry* replacement) { installed.store(replacement, std::memory_order_release); }

void setSaveFailureReporter(SaveFailureReporter r) { reporter.store(r); }
SaveFailureReporter saveFailureReporter() { return reporter.load(); }

std::uint64_t fileTimeNow() {
    // FILETIME counts from 1601-01-01; the system clock from 1970-01-01.
    constexpr std::uint64_t kFrom1601To1970 = 116444736000000000ull;
    const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
            since1970)
            .count();
    return kFrom1601To1970 + static_cast<std::uint64_t>(ticks);
}

long Registry::createKeyExWithClass(Key parent, const char* subKey, const char* keyClass,
                                    std::uint32_t options, std::uint32_t access, Key* result,
                                    std::uint32_t* disposition) {
    if (!isEmpty(keyClass)) return finish(kNotSupported);
    return createKeyEx(parent, subKey, options, access, result, disposition);
}

long Registry::queryInfoKey(Key, char*, std::uint32_t*, KeyInfo*) { return finish(kNotSupported); }

long Registry::flushKey(Key key) { return finish(key == kNullKey ? kInvalidHandle : kSuccess); }

long Registry::createKey(Key parent, const char* subKey, Key* result) {
    if (result == nullptr) return finish(kInvalidParameter);
    return createKeyEx(parent, isEmpty(subKey) ? "" : subKey, 0, kKeyReadWrite, result, nullptr);
}

long Registry::openKey(Key parent, const char* subKey, Key* result) {
    if (result == nullptr) return finish(kInvalidParameter);
    // No name: a root (or a null handle) comes back as it was passed.
    if (isEmpty(subKey) && (isRootKey(parent) || parent == kNullKey)) {
        *result = parent;
        return finish(kSuccess);
    }
    return openKeyEx(parent, isEmpty(subKey) ? "" : subKey, kKeyReadWrite, result);
}

// The text of the unnamed value of subKey (or of key itself). A key without
// an unnamed value reads as the empty text, as the plain form has always done;
// a missing subkey is kFileNotFound.
long Registry::queryValue(Key key, const char* subKey, char* data, std::int32_t* size) {
    if (data != nullptr && size == nullptr) return finish(kInvalidParameter);
    Key target = key;
    bool opened = false;
    if (!isEmpty(subKey)) {
        long rc = openKeyEx(key, subKey, kKeyRead, &target);
        if (rc != kSuccess) return finish(rc);
        opened = true;
    }
    std::uint32_t type = 0;
    std::uint32_t stored = 0;
    long rc = queryValueEx(target, "", &type, nullptr, &stored);
    std::string text;
    if (rc == kSuccess && stored > 0) {
        text.resize(stored);
        std::uint32_t got = stored;
        rc = queryValueEx(target, "", &type, reinterpret_cast<unsigned char*>(text.data()), &got);
        text.resize(rc == kSuccess ? got : 0);
    } else if (rc == kFileNotFound) {
        rc = kSuccess;  // no unnamed value: the empty text
    }
    if (opened) closeKey(target);
    if (rc != kSuccess) return finish(rc);
    // Text up to a stored terminator, then one terminating zero.
    std::size_t len = text.size();
    if (len > 0 && text[len - 1] == '\0') --len;
    std::uint32_t need = static_cast<std::uint32_t>(len + 1);
    if (data != nullptr) {
        if (*size < 0 || static_cast<std::uint32_t>(*size) < need) {
            *size = static_cast<std::int32_t>(need);
            return finish(kMoreData);
        }
        std::memcpy(data, text.data(), len);
        data[len] = '\0';
    }
    if (size != nullptr) *size = static_cast<std::int32_t>(need);
    return finish(kSuccess);
}

// Creates subKey (or uses key itself) and stores the text with its
// terminating zero as the unnamed REG_SZ value, as RegSetValue stores it;
// the size argument is ignored, as by the plain form.
long Registry::setValue(Key key, const char* subKey, std::uint32_t type, const char* data,
                        std::uint32_t /*size*/) {
    if (type != kRegSz || data == nullptr) return finish(kInvalidParameter);
    Key target = key;
    bool opened = false;
    if (!isEmpty(subKey)) {
        long rc = createKeyEx(key, subKey, 0, kKeyReadWrite, &target, nullptr);
        if (rc != kSuccess) return finish(rc);
        opened = true;
    }
    long rc = setValueEx(target, "", kRegSz, reinterpret_cast<const unsigned char*>(data),
                         static_cast<std::uint32_t>(std::strlen(data) + 1));
    if (opened) closeKey(target);
    return finish(rc);
}

}  // namespace vrk::reg
