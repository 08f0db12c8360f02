// The advapi32 calls behind Win32Registry.
#include "platform/registry/win32/win32_registry.hpp"
#include "platform/registry/registry_result.hpp"
#include "platform/registry/value_text.hpp"

#include <new>
#include <vector>

#include "platform/process.hpp"

namespace vrk::reg {

namespace {

constexpr bool kWideBuild = sizeof(void*) == 8;

bool isEmpty(const char* s) { return s == nullptr || *s == '\0'; }

// RegDeleteKeyEx exists only from Windows Vista (and XP x64) on: a 32-bit
// build keeps to RegDeleteKey, so that it still loads on older hosts. The
// branch not taken is never instantiated.
template <bool Wide = kWideBuild>
LONG deleteInView(HKEY parent, const char* subKey) {
    if constexpr (Wide) {
        return RegDeleteKeyExA(parent, subKey, KEY_WOW64_32KEY, 0);
    } else {
        return RegDeleteKeyA(parent, subKey);
    }
}

// Whether the thread's open batch has changed anything (a batch is the
// calls one by one here, so a rollback can undo nothing).
thread_local bool batchOpen = false;
thread_local bool batchChanged = false;

// rc, noting a successful change inside a batch.
LONG changed(LONG rc) {
    if (rc == ERROR_SUCCESS && batchOpen) batchChanged = true;
    return rc;
}

// The class of every key the store creates: the empty text.
char emptyClass[] = "";

}  // namespace

REGSAM win32RegistryView() { return kWideBuild ? KEY_WOW64_32KEY : 0; }

LONG win32DeleteKey(HKEY parent, const char* subKey) { return deleteInView(parent, subKey); }

Win32Registry::Win32Registry()
    : roots_{HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS} {}

Win32Registry::Win32Registry(const Roots& roots, std::shared_ptr<const void> owner)
    : roots_(roots), owner_(std::move(owner)) {}

HKEY Win32Registry::handleOf(Key key) const {
    if (isRootKey(key)) return roots_[key.value - kClassesRoot.value];
    return reinterpret_cast<HKEY>(key.value);
}

Key Win32Registry::keyOf(HKEY handle) const {
    for (std::size_t i = 0; i < roots_.size(); ++i) {
        if (handle == roots_[i]) return Key{kClassesRoot.value + i};
    }
    return Key{reinterpret_cast<std::uintptr_t>(handle)};
}

// The output handle as the interface gives it (Windows' answers): untouched
// when the parent handle is bad, null after any later failure. Wine leaves it
// untouched after every failure of a create.
Key Win32Registry::resultOf(LONG rc, HKEY handle, Key before) const {
    if (rc == ERROR_SUCCESS) return keyOf(handle);
    return rc == ERROR_INVALID_HANDLE ? before : kNullKey;
}

// The size and type of a query pass through the real call: each starts as
// the caller left it, so that what the call leaves untouched (the size after
// a query of a missing value with a buffer) stays untouched, as on Windows.
long Win32Registry::createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                                std::uint32_t access, Key* result, std::uint32_t* disposition) {
    // No place for the handle: Windows' answer. (Wine's RegCreateKeyExA
    // writes through the null pointer.)
    if (result == nullptr) return finish(ERROR_BADKEY);
    if (isRootKey(parent) && isEmpty(subKey)) {
        // As openKeyEx: a root by the empty name is the root itself.
        *result = parent;
        if (disposition != nullptr) *disposition = kOpenedExistingKey;
        return finish(ERROR_SUCCESS);
    }
    HKEY handle = nullptr;
    DWORD how = disposition != nullptr ? *disposition : 0;
    DWORD created = 0;
    LONG rc = RegCreateKeyExA(handleOf(parent), subKey, 0, emptyClass, options,
                              access | win32RegistryView(), nullptr, &handle, &created);
    if (created == REG_CREATED_NEW_KEY) changed(rc);
    if (rc == ERROR_SUCCESS) how = created;
    *result = resultOf(rc, handle, *result);
    if (disposition != nullptr) *disposition = how;
    return finish(rc);
}

long Win32Registry::openKeyEx(Key parent, const char* subKey, std::uint32_t access, Key* result) {
    if (result == nullptr) return finish(ERROR_INVALID_PARAMETER);
    if (isRootKey(parent) && isEmpty(subKey)) {
        // A root opened by the empty name is the root itself, as Windows
        // answers for its predefined keys; a scratch store's roots behave
        // the same.
        *result = parent;
        return finish(ERROR_SUCCESS);
    }
    HKEY handle = nullptr;
    LONG rc = RegOpenKeyExA(handleOf(parent), subKey, 0, access | win32RegistryView(), &handle);
    *result = resultOf(rc, handle, *result);
    return finish(rc);
}

long Win32Registry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* size) {
    DWORD storedType = type != nullptr ? *type : 0;
    DWORD bytes = size != nullptr ? *size : 0;
    LONG rc =
        RegQueryValueExA(handleOf(key), valueName, nullptr, type != nullptr ? &storedType : nullptr,
                         data, size != nullptr ? &bytes : nullptr);
    if (type != nullptr) *type = storedType;
    if (size != nullptr) *size = bytes;
    return finish(rc);
}

// Text goes in exactly as given. RegSetValueExA takes a zero byte that
// follows the caller's text as a terminator left out of the count, and
// stores it too; a copy of the text followed by a byte that is not zero keeps
// the value to the bytes counted, so that it reads back as written.
long Win32Registry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                               const unsigned char* data, std::uint32_t size) {
    if (data == nullptr || size == 0 || !isTextValueType(type)) {
        return finish(changed(RegSetValueExA(handleOf(key), valueName, 0, type, data, size)));
    }
    std::vector<unsigned char> text;
    try {
        text.reserve(std::size_t{size} + 1);
    } catch (const std::bad_alloc&) {
        return finish(ERROR_NOT_ENOUGH_MEMORY);
    }
    text.assign(data, data + size);
    text.push_back(0xFF);
    return finish(changed(RegSetValueExA(handleOf(key), valueName, 0, type, text.data(), size)));
}

long Win32Registry::deleteKey(Key key, const char* subKey) {
    return finish(changed(deleteInView(handleOf(key), subKey)));
}

long Win32Registry::deleteValue(Key key, const char* valueName) {
    return finish(changed(RegDeleteValueA(handleOf(key), valueName)));
}

long Win32Registry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    return finish(RegEnumKeyA(handleOf(key), index, name, nameSize));
}

long Win32Registry::enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                              std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    if (nameSize == nullptr) return finish(ERROR_INVALID_PARAMETER);
    DWORD nameChars = *nameSize;
    DWORD storedType = 0;
    DWORD bytes = dataSize != nullptr ? *dataSize : 0;
    LONG rc = RegEnumValueA(handleOf(key), index, name, &nameChars, nullptr, &storedType, data,
                            dataSize != nullptr ? &bytes : nullptr);
    if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        *nameSize = nameChars;
        if (type != nullptr) *type = storedType;
        if (dataSize != nullptr) *dataSize = bytes;
    }
    return finish(rc);
}

long Win32Registry::closeKey(Key key) {
    if (isRootKey(key)) return finish(ERROR_SUCCESS);
    return finish(RegCloseKey(handleOf(key)));
}

long Win32Registry::beginBatch() {
    batchOpen = true;
    batchChanged = false;
    return finish(ERROR_SUCCESS);
}

long Win32Registry::commitBatch() {
    batchOpen = false;
    return finish(ERROR_SUCCESS);
}

long Win32Registry::rollbackBatch() {
    const bool undoable = !batchChanged;
    batchOpen = false;
    batchChanged = false;
    return finish(undoable ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED);
}

long Win32Registry::flushKey(Key key) { return finish(RegFlushKey(handleOf(key))); }

// The plain forms return the parent's own handle for an empty name, which
// the caller would then close under its owner; an empty name therefore
// opens a handle of its own, with the read and write access the plain forms
// grant.
long Win32Registry::createKey(Key parent, const char* subKey, Key* result) {
    if (result == nullptr) return finish(ERROR_INVALID_PARAMETER);
    if (isEmpty(subKey)) return openKey(parent, subKey, result);
    HKEY handle = nullptr;
    // The plain form does not tell a new key from an old one: counted as a
    // change.
    LONG rc = changed(RegCreateKeyA(handleOf(parent), subKey, &handle));
    *result = resultOf(rc, handle, *result);
    return finish(rc);
}

long Win32Registry::openKey(Key parent, const char* subKey, Key* result) {
    if (result == nullptr) return finish(ERROR_INVALID_PARAMETER);
    if (isEmpty(subKey)) {
        // No name with a root or no key: the parent itself, as the plain
        // form answers.
        if (parent == kNullKey || isRootKey(parent)) {
            *result = parent;
            return finish(ERROR_SUCCESS);
        }
        return openKeyEx(parent, "", kKeyReadWrite, result);
    }
    HKEY handle = nullptr;
    LONG rc = RegOpenKeyA(handleOf(parent), subKey, &handle);
    *result = resultOf(rc, handle, *result);
    return finish(rc);
}

long Win32Registry::queryValue(Key key, const char* subKey, char* data, std::int32_t* size) {
    LONG bytes = size != nullptr ? *size : 0;
    LONG rc = RegQueryValueA(handleOf(key), subKey, data, size != nullptr ? &bytes : nullptr);
    if (size != nullptr && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)) *size = bytes;
    return finish(rc);
}

long Win32Registry::setValue(Key key, const char* subKey, std::uint32_t type, const char* data,
                             std::uint32_t size) {
    return finish(changed(RegSetValueA(handleOf(key), subKey, type, data, size)));
}

}  // namespace vrk::reg
