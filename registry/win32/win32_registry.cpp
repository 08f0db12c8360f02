// The advapi32 calls behind Win32Registry.
#include "registry/win32/win32_registry.hpp"

#include "registry/registry_view.hpp"
#include "registry/registry_result.hpp"
#include "registry/value_text.hpp"

#include <cstring>
#include <new>
#include <string>

#include "platform/process.hpp"

namespace vrk::reg {

namespace {

constexpr bool kWideBuild = sizeof(void*) == 8;

bool isEmpty(const char* s) { return s == nullptr || *s == '\0'; }

// RegDeleteKey in the chosen view. RegDeleteKeyEx exists only from Windows
// Vista (and XP x64) on: it is looked up when a view flag is needed, so that
// a 32-bit build still loads on older hosts, where it keeps to RegDeleteKey.
LONG deleteInView(HKEY parent, const char* subKey) {
    using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
    static const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
    const REGSAM view = win32RegistryView();
    if (view == 0 || deleteKeyEx == nullptr) return RegDeleteKeyA(parent, subKey);
    return deleteKeyEx(parent, subKey, view, 0);
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

// The longest value name the ANSI calls can give: 16,383 UTF-16 code units,
// each at most three bytes in the ANSI code page (UTF-8 being the widest).
constexpr std::size_t kLongestAnsiValueName = 16383 * 3;

// The text of a text value: the bytes stored, as the ANSI call converts
// them. Any other type, or a failure: not ERROR_SUCCESS, and the caller asks
// the call itself.
LONG readText(HKEY key, const char* valueName, DWORD& type, std::string& text) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS) return rc;
        if (!isTextValueType(type)) return ERROR_INVALID_DATATYPE;
        try {
            text.assign(std::size_t{size} + 1, '\0');
        } catch (const std::bad_alloc&) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        DWORD got = size + 1;
        rc = RegQueryValueExA(key, valueName, nullptr, &type,
                              reinterpret_cast<unsigned char*>(text.data()), &got);
        if (rc == ERROR_MORE_DATA) continue;  // it grew meanwhile
        if (rc != ERROR_SUCCESS) return rc;
        if (!isTextValueType(type)) return ERROR_INVALID_DATATYPE;
        text.resize(got);
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

// The name an open below parent uses: Windows 2000 and later open
// "\\clsid" below HKEY_CLASSES_ROOT itself as "clsid" (a leading backslash
// is a bad path below any other key); a scratch store's classes root answers
// the same.
const char* openName(Key parent, const char* subKey) {
    if (parent == kClassesRoot && subKey != nullptr && subKey[0] == '\\') return subKey + 1;
    return subKey;
}

// The class of every key the store creates: the empty text.
char emptyClass[] = "";

}  // namespace

REGSAM win32RegistryView() {
    switch (chosenRegistryView()) {
    case RegistryView::bits32: return KEY_WOW64_32KEY;
    case RegistryView::bits64: return KEY_WOW64_64KEY;
    case RegistryView::standard: break;
    }
    return kWideBuild ? KEY_WOW64_32KEY : 0;
}

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
    return createKeyExWithClass(parent, subKey, nullptr, options, access, result, disposition);
}

long Win32Registry::createKeyExWithClass(Key parent, const char* subKey, const char* keyClass,
                                         std::uint32_t options, std::uint32_t access, Key* result,
                                         std::uint32_t* disposition) {
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
    LONG rc = RegCreateKeyExA(handleOf(parent), subKey, 0,
                              keyClass != nullptr ? const_cast<char*>(keyClass) : emptyClass,
                              options, access | win32RegistryView(), nullptr, &handle, &created);
    if (created == REG_CREATED_NEW_KEY) changed(rc);
    if (rc == ERROR_SUCCESS) how = created;
    *result = resultOf(rc, handle, *result);
    if (disposition != nullptr) *disposition = how;
    return finish(rc);
}

long Win32Registry::queryInfoKey(Key key, char* keyClass, std::uint32_t* classSize, KeyInfo* info) {
    DWORD size = classSize != nullptr ? *classSize : 0;
    DWORD subKeys = 0, maxSubKey = 0, maxClass = 0, values = 0, maxValueName = 0, maxValue = 0;
    FILETIME written{};
    const bool all = info != nullptr;
    LONG rc = RegQueryInfoKeyA(handleOf(key), keyClass, classSize != nullptr ? &size : nullptr,
                               nullptr, all ? &subKeys : nullptr, all ? &maxSubKey : nullptr,
                               all ? &maxClass : nullptr, all ? &values : nullptr,
                               all ? &maxValueName : nullptr, all ? &maxValue : nullptr, nullptr,
                               all ? &written : nullptr);
    if (classSize != nullptr) *classSize = size;
    if (all && rc == ERROR_SUCCESS) {
        info->subKeys = subKeys;
        info->maxSubKeyLength = maxSubKey;
        info->maxClassLength = maxClass;
        info->values = values;
        info->maxValueNameLength = maxValueName;
        info->maxValueLength = maxValue;
        info->lastWriteTime = (std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    }
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
    LONG rc = RegOpenKeyExA(handleOf(parent), openName(parent, subKey), 0,
                            access | win32RegistryView(), &handle);
    *result = resultOf(rc, handle, *result);
    return finish(rc);
}

long Win32Registry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* size) {
    std::string text;
    DWORD textType = 0;
    if ((data == nullptr || size != nullptr) &&
        readText(handleOf(key), valueName, textType, text) == ERROR_SUCCESS) {
        const std::uint32_t need = static_cast<std::uint32_t>(text.size());
        if (type != nullptr) *type = textType;
        if (data != nullptr && *size < need) {
            *size = need;
            return finish(ERROR_MORE_DATA);
        }
        if (data != nullptr) copyValueBytes(data, *size, textType, text);
        if (size != nullptr) *size = need;
        return finish(ERROR_SUCCESS);
    }
    DWORD storedType = type != nullptr ? *type : 0;
    DWORD bytes = size != nullptr ? *size : 0;
    LONG rc =
        RegQueryValueExA(handleOf(key), valueName, nullptr, type != nullptr ? &storedType : nullptr,
                         data, size != nullptr ? &bytes : nullptr);
    if (type != nullptr) *type = storedType;
    if (size != nullptr) *size = bytes;
    return finish(rc);
}

// Text is stored as exactly the caller's bytes. The ANSI call counts one
// byte more when the text does not end in a zero and the byte after it is
// one (NT adds the terminator a caller forgot to count); the copy puts a
// byte that is not zero there, so that nothing is added.
long Win32Registry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                               const unsigned char* data, std::uint32_t size) {
    if (data == nullptr || size == 0 || !isTextValueType(type)) {
        return finish(changed(RegSetValueExA(handleOf(key), valueName, 0, type, data, size)));
    }
    std::string text;
    try {
        text.assign(reinterpret_cast<const char*>(data), size);
        text.push_back('x');
    } catch (const std::bad_alloc&) {
        return finish(ERROR_NOT_ENOUGH_MEMORY);
    }
    return finish(
        changed(RegSetValueExA(handleOf(key), valueName, 0, type,
                               reinterpret_cast<const unsigned char*>(text.data()), size)));
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
    HKEY h = handleOf(key);
    if (name != nullptr && (data == nullptr || dataSize != nullptr)) {
        // A text value: its name, then its text as queryValueEx reads it.
        std::string found;
        DWORD foundType = 0;
        DWORD stored = 0;
        try {
            found.assign(kLongestAnsiValueName + 1, '\0');
        } catch (const std::bad_alloc&) {
            return finish(ERROR_NOT_ENOUGH_MEMORY);
        }
        DWORD foundLength = static_cast<DWORD>(found.size());
        std::string text;
        DWORD textType = 0;
        if (RegEnumValueA(h, index, found.data(), &foundLength, nullptr, &foundType, nullptr,
                          &stored) == ERROR_SUCCESS &&
            isTextValueType(foundType) &&
            readText(h, found.c_str(), textType, text) == ERROR_SUCCESS) {
            const std::uint32_t need = static_cast<std::uint32_t>(text.size());
            const std::uint32_t room = dataSize != nullptr ? *dataSize : 0;
            if (type != nullptr) *type = textType;
            if (dataSize != nullptr) *dataSize = need;
            if (foundLength + 1 > *nameSize || (data != nullptr && room < need)) {
                return finish(ERROR_MORE_DATA);
            }
            std::memcpy(name, found.data(), foundLength);
            name[foundLength] = '\0';
            *nameSize = foundLength;
            if (data != nullptr) copyValueBytes(data, room, textType, text);
            return finish(ERROR_SUCCESS);
        }
    }
    DWORD nameChars = *nameSize;
    DWORD storedType = 0;
    DWORD bytes = dataSize != nullptr ? *dataSize : 0;
    LONG rc = RegEnumValueA(h, index, name, &nameChars, nullptr, &storedType, data,
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
    LONG rc = RegOpenKeyA(handleOf(parent), openName(parent, subKey), &handle);
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
