// The profile store's registry routines (declared, and marked internal, in
// profile/iprofile_registry.hpp): name escaping, opening and deleting keys,
// reading and writing the typed elements in the standard and the legacy
// layout, and opening a profile's key from its name.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include "profile/iprofile_registry.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "diag/iexc.hpp"
#include "platform/error_text.hpp"
#include "platform/process.hpp"

namespace vrk::profilestore {

namespace {

const char* const kSourceFile = "iprofile";

// Signature texts of the reporting routines.
const char* const kFnRegOpenKey = "IRegOpenKey(HKEY,const char*)";
const char* const kFnRegGetString = "IRegGetString(HKEY)";
const char* const kFnRegGetInteger = "IRegGetInteger(HKEY)";
const char* const kFnRegWriteString = "IRegWriteString(HKEY,IString)";
const char* const kFnRegWriteInteger = "IRegWriteInteger(HKEY,long)";
const char* const kFnRegWriteBinary = "IRegWriteBinary(HKEY,IString)";

bool legacyHost() { return vrk::platform::isLegacyRegistryHost(); }

}  // namespace

vrk::reg::Registry& store() { return vrk::reg::registry(); }

// Raises IAccessError for a failed (or, for "RegOpenKey" and "RegQueryKey",
// an unsatisfied) registry call. The error id is the platform's last error.
[[noreturn]] void raiseRegistryFailure(const char* callName, const char* function,
                                       unsigned long line) {
    IWindowSystemErrorText text(callName);  // takes the last error first
    const std::string reason = storeFailureReason(text.errorId());
    vrk::diag::raiseErrorText(text, ISourceLocation(kSourceFile, function, line), kAccessError,
                              true, IException::presentationSystem,
                              reason.empty() ? nullptr : reason.c_str());
}

std::string storeFailureReason(unsigned long error) {
    switch (error) {
    case vrk::reg::kSuccess:
    case vrk::reg::kFileNotFound:  // a missing key or value: the call's name tells it
    case vrk::reg::kMoreData:
    case vrk::reg::kNoMoreItems: return "";
    default: break;
    }
    std::string reason = "Error " + std::to_string(error);
    char message[256];
    if (vrk::platform::systemErrorMessage(error, message, sizeof message)) {
        reason += ": ";
        reason += message;
    }
    const char* detail = store().lastFailureDetail();
    if (detail != nullptr && *detail != '\0') {
        reason += " (";
        reason += detail;
        reason += ")";
    }
    return reason;
}

[[noreturn]] void raiseParameter(const char* expression, const char* function, unsigned long line) {
    assertParameter(expression, ISourceLocation(kSourceFile, function, line));
}

// ---- Names ----------------------------------------------------------------

// IRegEncodeName: the name as it is stored. The slash is doubled first, so
// that the escapes of the later steps are not doubled again.
IString IRegEncodeName(const char* name) {
    IString encoded(name);
    encoded.substitute("/", 1, "//", 2);
    encoded.substitute("*", 1, "/1", 2);
    encoded.substitute("?", 1, "/0", 2);
    encoded.substitute("\\", 1, "/_", 2);
    if (legacyHost()) encoded.substitute(" ", 1, "/-", 2);
    return encoded;
}

// IRegDecodeName: turns a stored name back into the name; false (and the
// name unchanged) when the stored name is malformed.
bool IRegDecodeName(IString& name) {
    // A name without a slash holds no escape: nothing to turn back.
    const char* stored = name;
    if (stored == nullptr || std::memchr(stored, '/', name.length()) == nullptr) return true;
    const bool legacy = legacyHost();
    std::string text(static_cast<const char*>(name), name.length());
    // Mark each escape pair by the character it stands for; the slash that
    // leads the pair goes in the second pass.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '/') continue;
        if (i + 1 >= text.size()) return false;
        char& next = text[i + 1];
        switch (next) {
        case '/': break;
        case '0': next = '?'; break;
        case '1': next = '*'; break;
        case '_': next = '\\'; break;
        case '-':
            if (legacy) next = ' ';
            break;
        default: return false;
        }
        ++i;  // resume after the pair
    }
    IString decoded(text.data(), static_cast<unsigned>(text.size()));
    decoded.substitute("/\\", 2, "\\", 1);
    decoded.substitute("/*", 2, "*", 1);
    decoded.substitute("/?", 2, "?", 1);
    if (legacy) decoded.substitute("/ ", 2, " ", 1);
    decoded.substitute("//", 2, "/", 1);
    name = decoded;
    return true;
}

// ---- Keys -----------------------------------------------------------------

// Open-or-create of the escaped name below parent, read and write access,
// without raising. Returns the registry's error number.
long openOrCreateKey(Key parent, const char* name, Key* result) {
    IString encoded = IRegEncodeName(name);
    *result = kNullKey;
    if (legacyHost()) return store().createKey(parent, encoded, result);
    std::uint32_t disposition = 0;
    return store().createKeyEx(parent, encoded, 0 /* options: non-volatile */,
                               vrk::reg::kKeyReadWrite, result, &disposition);
}

[[noreturn]] void raiseOpenKeyFailure() {
    if (legacyHost()) raiseRegistryFailure("RegCreateKey", kFnRegOpenKey, 108);
    raiseRegistryFailure("RegCreateKeyEx", kFnRegOpenKey, 117);
}

// IRegOpenKey: opens the subkey name of parent for reading and writing,
// creating it when missing.
Key IRegOpenKey(Key parent, const char* name) {
    Key result = kNullKey;
    if (openOrCreateKey(parent, name, &result) != vrk::reg::kSuccess) raiseOpenKeyFailure();
    return result;
}

// IRegKeyExists: whether the subkey name of parent exists. Never raises.
bool IRegKeyExists(Key parent, const char* name) {
    IString encoded = IRegEncodeName(name);
    Key key = kNullKey;
    long rc = legacyHost() ? store().openKey(parent, encoded, &key)
                           : store().openKeyEx(parent, encoded, vrk::reg::kKeyRead, &key);
    if (rc != vrk::reg::kSuccess) return false;
    store().closeKey(key);
    return true;
}

namespace {

// A buffer for subkey and value names that come back from the store: larger
// than any name the store keeps.
const std::uint32_t kNameBufferSize = 16384;

bool isGone(long rc) { return rc == vrk::reg::kSuccess || rc == vrk::reg::kFileNotFound; }

// Deletes a stored key name of parent with everything below it, deepest
// keys first. The walk keeps its path in a list of open handles instead of
// recursing, so the depth of the tree costs heap, not stack. Returns the
// result of the last deletion (kSuccess or kFileNotFound when the key is
// gone), or the error that stopped the walk.
long deleteKeyTree(Key parent, const char* storedName) {
    struct Level {
        Key key;
        std::string name;         // the stored name of key below the level above
        std::string lastDeleted;  // the child deleted last, which must not come back
    };
    std::vector<Level> path;
    auto closeAll = [&path] {
        for (Level& level : path) store().closeKey(level.key);
        path.clear();
    };
    // An empty name would open parent itself; only its own deletion is asked.
    if (storedName[0] == '\0') return store().deleteKey(parent, storedName);
    Key top = kNullKey;
    long rc = store().openKey(parent, storedName, &top);
    if (rc != vrk::reg::kSuccess) return rc;
    path.push_back({top, storedName, std::string()});
    std::vector<char> child(kNameBufferSize);
    while (!path.empty()) {
        Level& deepest = path.back();
        rc = store().enumKey(deepest.key, 0, child.data(), kNameBufferSize);
        if (rc == vrk::reg::kSuccess) {
            // A child that is still there after its deletion answered "gone"
            // would take the walk round and round.
            if (!deepest.lastDeleted.empty() && deepest.lastDeleted == child.data()) {
                rc = vrk::reg::kAccessDenied;
                break;
            }
            // Go down to the first child; it is deleted before its siblings.
            Key next = kNullKey;
            rc = store().openKey(deepest.key, child.data(), &next);
            if (rc != vrk::reg::kSuccess) break;
            path.push_back({next, std::string(child.data()), std::string()});
            continue;
        }
        if (rc != vrk::reg::kNoMoreItems) break;
        // No child left: delete this key from the level above.
        const std::string name = deepest.name;
        store().closeKey(deepest.key);
        path.pop_back();
        const Key above = path.empty() ? parent : path.back().key;
        rc = store().deleteKey(above, name.c_str());
        if (!isGone(rc)) break;
        if (!path.empty()) path.back().lastDeleted = name;
    }
    const std::uint32_t error = vrk::platform::lastError();
    closeAll();
    vrk::platform::setLastError(error);  // the failing call's, not the closes'
    return rc;
}

// Deletes every named value of key. False when one cannot be deleted.
bool deleteAllValues(Key key) {
    std::vector<char> name(kNameBufferSize);
    std::string previous;
    // Each round deletes the value at index 0. A value that another process
    // deleted first is gone too; one that stays where it was (a name the
    // delete cannot reach) stops the loop.
    for (bool first = true;; first = false) {
        std::uint32_t nameSize = kNameBufferSize;
        long rc = store().enumValue(key, 0, name.data(), &nameSize, nullptr, nullptr, nullptr);
        if (rc == vrk::reg::kNoMoreItems) return true;
        if (rc != vrk::reg::kSuccess) return false;
        std::string valueName(name.data(), nameSize);
        if (!first && valueName == previous) return false;
        if (!isGone(store().deleteValue(key, valueName.c_str()))) return false;
        previous.swap(valueName);
    }
}

// Deletes every subkey of key with everything below it. False when one
// cannot be deleted.
bool deleteAllSubkeys(Key key) {
    std::vector<char> name(kNameBufferSize);
    std::string previous;
    for (bool first = true;; first = false) {
        long rc = store().enumKey(key, 0, name.data(), kNameBufferSize);
        if (rc == vrk::reg::kNoMoreItems) return true;
        if (rc != vrk::reg::kSuccess) return false;
        std::string subkey(name.data());
        if (!first && subkey == previous) return false;
        if (!isGone(deleteKeyTree(key, subkey.c_str()))) return false;
        previous.swap(subkey);
    }
}

// Runs a removal of several calls as one change of a store with batches; a
// removal that fails half-way is rolled back there.
template <class Removal>
bool asOneChange(Removal removal) {
    const bool batched = store().beginBatch() == vrk::reg::kSuccess;
    bool done = removal();
    if (batched) {
        if (done)
            done = store().commitBatch() == vrk::reg::kSuccess;
        else {
            // The report names the error of the failing call, not the
            // rollback's.
            const std::uint32_t error = vrk::platform::lastError();
            store().rollbackBatch();
            vrk::platform::setLastError(error);
        }
    }
    return done;
}

}  // namespace

// IRegDeleteKey: deletes the subkey name of parent; the result is ignored.
void IRegDeleteKey(Key parent, const char* name) {
    IString encoded = IRegEncodeName(name);
    if (legacyHost()) {
        deleteKeyTree(parent, encoded);
        return;
    }
    store().deleteKey(parent, encoded);
}

bool IRegDeleteElementKey(Key parent, const char* name) {
    IString encoded = IRegEncodeName(name);
    if (legacyHost()) {
        // The legacy host's RegDeleteKey removes a whole subtree, and in its
        // layout the element's values are subkeys of the key's subkey.
        return asOneChange([&] { return isGone(deleteKeyTree(parent, encoded)); });
    }
    const long rc = store().deleteKey(parent, encoded);
    if (isGone(rc)) return true;
    if (rc != vrk::reg::kAccessDenied) return false;
    // Refused. When the reason is subkeys that are not part of the layout,
    // remove the element's values and leave those subkeys; any other refusal
    // (a store that cannot be written or read) fails the delete.
    Key key = kNullKey;
    const long opened = store().openKeyEx(parent, encoded, vrk::reg::kKeyReadWrite, &key);
    if (opened == vrk::reg::kFileNotFound) return true;
    if (opened != vrk::reg::kSuccess) return false;
    char probe[2];
    const long probed = store().enumKey(key, 0, probe, sizeof probe);
    if (probed != vrk::reg::kSuccess && probed != vrk::reg::kMoreData) {
        store().closeKey(key);
        vrk::platform::setLastError(static_cast<std::uint32_t>(rc));  // the delete's refusal
        return false;
    }
    const bool cleared = asOneChange([&] { return deleteAllValues(key); });
    const std::uint32_t error = vrk::platform::lastError();
    store().closeKey(key);
    vrk::platform::setLastError(error);  // the failing call's, not the close's
    return cleared;
}

bool IRegClearElement(Key key) {
    return legacyHost() ? deleteAllSubkeys(key) : deleteAllValues(key);
}

// ---- Values -----------------------------------------------------------------

namespace {

// Reads the text of a value of the standard layout (a named value) or of
// the legacy layout (the unnamed value of a subkey). False when it is missing
// or does not fit in `capacity` bytes; `count` receives the bytes read.
bool readSmallValue(Key key, const char* name, unsigned char* buffer, std::uint32_t capacity,
                    std::uint32_t* count) {
    if (legacyHost()) {
        std::int32_t size = static_cast<std::int32_t>(capacity);
        if (store().queryValue(key, name, reinterpret_cast<char*>(buffer), &size) !=
            vrk::reg::kSuccess)
            return false;
        *count = size < 0 ? 0 : static_cast<std::uint32_t>(size);
    } else {
        std::uint32_t size = capacity;
        if (store().queryValueEx(key, name, nullptr, buffer, &size) != vrk::reg::kSuccess)
            return false;
        *count = size;
    }
    if (*count > capacity) *count = capacity;
    return true;
}

}  // namespace

// IRegGetType: the type named by "DataType", or kTypeNone.
unsigned long IRegGetType(Key key) {
    unsigned char buffer[kDataTypeBufferSize + 1] = {};
    std::uint32_t count = 0;
    if (!readSmallValue(key, "DataType", buffer, kDataTypeBufferSize, &count)) return kTypeNone;
    buffer[count] = 0;
    IString word(reinterpret_cast<const char*>(buffer));
    if (word == "Binary") return kTypeBinary;
    if (word == "Integer") return kTypeInteger;
    if (word == "String") return kTypeString;
    return kTypeNone;
}

namespace {

// The text of a legacy entry: its size is queried first (false when that
// fails), then the text is read; it ends at its first zero byte.
bool readLegacyText(Key key, const char* name, std::string* text) {
    std::int32_t size = 0;
    if (store().queryValue(key, name, nullptr, &size) != vrk::reg::kSuccess) return false;
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 0) + 1, '\0');
    std::int32_t count = size;
    store().queryValue(key, name, buffer.data(), &count);  // the result is not examined
    buffer.back() = '\0';
    text->assign(buffer.data());
    return true;
}

}  // namespace

// IRegGetString: the text of "Data", up to its first zero byte.
IString IRegGetString(Key key) {
    if (legacyHost()) {
        std::string text;
        if (!readLegacyText(key, "Data", &text))
            raiseRegistryFailure("RegQueryValueEx", kFnRegGetString, 237);
        return IString(text.c_str());
    }
    std::uint32_t size = 0;
    if (store().queryValueEx(key, "Data", nullptr, nullptr, &size) != vrk::reg::kSuccess)
        raiseRegistryFailure("RegQueryValueEx", kFnRegGetString, 237);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size) + 1, 0);
    std::uint32_t count = size;
    store().queryValueEx(key, "Data", nullptr, buffer.data(), &count);  // not examined
    buffer.back() = 0;
    return IString(reinterpret_cast<const char*>(buffer.data()));
}

namespace {

// Parses decimal text as the runtime's base-10 conversion does (leading
// white space and a sign accepted, stops at the first non-digit, no digits
// gives 0), limited to the signed 32-bit range.
long parseLegacyInteger(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    return static_cast<long>(value);
}

}  // namespace

// IRegGetInteger: the signed 32-bit value of "Data", sign-extended.
long IRegGetInteger(Key key) {
    if (legacyHost()) {
        std::string text;
        if (!readLegacyText(key, "Data", &text))
            raiseRegistryFailure("RegQueryValue", kFnRegGetInteger, 268);
        return parseLegacyInteger(text);
    }
    unsigned char bytes[4] = {};
    std::uint32_t count = sizeof bytes;
    if (store().queryValueEx(key, "Data", nullptr, bytes, &count) != vrk::reg::kSuccess)
        raiseRegistryFailure("RegQueryValueEx", kFnRegGetInteger, 289);
    std::uint32_t raw =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<long>(static_cast<std::int32_t>(raw));
}

namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Appends the bytes of hexadecimal text, two digits a byte; decoding stops at
// the first pair that is not two hexadecimal digits.
void appendHexDecoded(const std::string& text, std::string* bytes) {
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        int high = hexDigitValue(text[i]);
        int low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) return;
        bytes->push_back(static_cast<char>(high << 4 | low));
    }
}

}  // namespace

// IRegGetBinary: the chunks "0", "1", ... joined, up to the first chunk that
// is missing or cannot be read. Never raises.
IString IRegGetBinary(Key key) {
    std::string bytes;
    const bool legacy = legacyHost();
    for (unsigned index = 0;; ++index) {
        char name[16];
        std::snprintf(name, sizeof name, "%u", index);
        if (legacy) {
            std::string text;
            if (!readLegacyText(key, name, &text)) break;
            appendHexDecoded(text, &bytes);
            continue;
        }
        std::uint32_t size = 0;
        if (store().queryValueEx(key, name, nullptr, nullptr, &size) != vrk::reg::kSuccess) break;
        std::vector<unsigned char> buffer(size > 0 ? size : 1);
        std::uint32_t count = size;
        // A read that fails delivers no bytes (the value changed since its
        // size was taken); it ends the element.
        if (store().queryValueEx(key, name, nullptr, buffer.data(), &count) != vrk::reg::kSuccess)
            break;
        bytes.append(reinterpret_cast<const char*>(buffer.data()), count < size ? count : size);
    }
    return IString(bytes.data(), static_cast<unsigned>(bytes.size()));
}

namespace {

// Writes one named value (standard layout) or the unnamed value of a subkey
// (legacy layout, always text). Returns the registry's error number.
long writeValue(Key key, const char* name, std::uint32_t type, const char* data,
                std::uint32_t size) {
    if (legacyHost()) return store().setValue(key, name, vrk::reg::kRegSz, data, size);
    return store().setValueEx(key, name, type, reinterpret_cast<const unsigned char*>(data), size);
}

// Writes "DataType", raising at the writer's line when it fails.
void writeDataType(Key key, const char* word, const char* function, unsigned long line,
                   unsigned long legacyLine) {
    if (writeValue(key, "DataType", vrk::reg::kRegSz, word,
                   static_cast<std::uint32_t>(std::strlen(word))) != vrk::reg::kSuccess) {
        if (legacyHost()) raiseRegistryFailure("RegSetValue", function, legacyLine);
        raiseRegistryFailure("RegSetValueEx", function, line);
    }
}

[[noreturn]] void raiseWriteFailure(const char* function, unsigned long line,
                                    unsigned long legacyLine) {
    if (legacyHost()) raiseRegistryFailure("RegSetValue", function, legacyLine);
    raiseRegistryFailure("RegSetValueEx", function, line);
}

}  // namespace

// IRegWriteString: "DataType" "String", then "Data" with the string's bytes.
void IRegWriteString(Key key, IString element) {
    writeDataType(key, "String", kFnRegWriteString, 362, 350);
    if (writeValue(key, "Data", vrk::reg::kRegSz, element, element.length()) != vrk::reg::kSuccess)
        raiseWriteFailure(kFnRegWriteString, 366, 354);
}

// IRegWriteInteger: "DataType" "Integer", then "Data" as 4 little-endian
// bytes (legacy: decimal text).
void IRegWriteInteger(Key key, long element) {
    writeDataType(key, "Integer", kFnRegWriteInteger, 396, 383);
    const std::int32_t value = static_cast<std::int32_t>(element);
    long rc;
    if (legacyHost()) {
        char text[16];
        int length = std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
        rc = writeValue(key, "Data", vrk::reg::kRegSz, text, static_cast<std::uint32_t>(length));
    } else {
        const std::uint32_t raw = static_cast<std::uint32_t>(value);
        const char bytes[4] = {static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8 & 0xFF),
                               static_cast<char>(raw >> 16 & 0xFF),
                               static_cast<char>(raw >> 24 & 0xFF)};
        rc = writeValue(key, "Data", vrk::reg::kRegDword, bytes, 4);
    }
    if (rc != vrk::reg::kSuccess) raiseWriteFailure(kFnRegWriteInteger, 401, 388);
}

// IRegWriteBinary: "DataType" "Binary", then the chunks "0", "1", ... of at
// most 16000 bytes (legacy: 3500 bytes as upper-case hexadecimal text). An
// empty element has no chunk.
void IRegWriteBinary(Key key, IString element) {
    writeDataType(key, "Binary", kFnRegWriteBinary, 428, 420);
    const bool legacy = legacyHost();
    const unsigned chunkSize = legacy ? kLegacyBinaryChunkSize : kBinaryChunkSize;
    const char* bytes = element;
    const unsigned total = element.length();
    unsigned index = 0;
    for (unsigned done = 0; done < total; done += chunkSize, ++index) {
        const unsigned count = total - done < chunkSize ? total - done : chunkSize;
        char name[16];
        std::snprintf(name, sizeof name, "%u", index);
        long rc;
        if (legacy) {
            IString hex(bytes + done, count);
            hex.makeHexText();
            rc = writeValue(key, name, vrk::reg::kRegSz, hex, hex.length());
        } else {
            rc = writeValue(key, name, vrk::reg::kRegBinary, bytes + done, count);
        }
        if (rc != vrk::reg::kSuccess) raiseWriteFailure(kFnRegWriteBinary, 458, 445);
    }
}

// ---- Profile names ----------------------------------------------------------------

namespace {

Key rootForHiveWord(const IString& word) {
    if (word == "HKEY_CURRENT_USER") return vrk::reg::kCurrentUser;
    if (word == "HKEY_LOCAL_MACHINE") return vrk::reg::kLocalMachine;
    if (word == "HKEY_USERS") return vrk::reg::kUsers;
    if (word == "HKEY_CLASSES_ROOT") return vrk::reg::kClassesRoot;
    return kNullKey;
}

// A name split at its first backslash.
struct NameSplit {
    IString head;
    IString tail;  // empty when there is no backslash
};

NameSplit splitAtBackslash(const char* name) {
    const char* backslash = std::strchr(name, '\\');
    if (!backslash) return {IString(name), IString()};
    return {IString(name, static_cast<unsigned>(backslash - name)), IString(backslash + 1)};
}

}  // namespace

// IRegOpenProfileKey: opens (creating it when missing) the profile's key.
Key IRegOpenProfileKey(const char* profName) {
    NameSplit hive = splitAtBackslash(profName);
    Key root = rootForHiveWord(hive.head);
    if (root == kNullKey || hive.tail.length() == 0) {
        KeyHolder software(IRegOpenKey(vrk::reg::kLocalMachine, "Software"));
        return IRegOpenKey(software.get(), profName);
    }
    NameSplit rest = splitAtBackslash(hive.tail);
    if (rest.tail.length() == 0) return IRegOpenKey(root, rest.head);
    KeyHolder first(IRegOpenKey(root, rest.head));
    return IRegOpenKey(first.get(), rest.tail);
}

namespace {

bool equalsIgnoringCase(const IString& left, const char* right) {
    IString a(left), b(right);
    a.makeUpperCase();
    b.makeUpperCase();
    return a == b;
}

}  // namespace

// Whether the name reaches HKEY_LOCAL_MACHINE\Software or
// HKEY_CURRENT_USER\Software, the two profiles that are never removed, or
// the root of one of those two hives, whose profile holds Software as an
// application. The name is resolved as IRegOpenProfileKey resolves it: each
// part is one escaped key name, an empty part names the key it is opened
// below, and key names compare without regard to letter case.
bool isProtectedProfileName(const char* profName) {
    NameSplit hive = splitAtBackslash(profName);
    Key root = rootForHiveWord(hive.head);
    std::vector<IString> path;  // the key names below root, empty ones left out
    if (root == kNullKey || hive.tail.length() == 0) {
        root = vrk::reg::kLocalMachine;
        path.push_back("Software");
        if (profName[0] != '\0') path.push_back(profName);
    } else {
        NameSplit rest = splitAtBackslash(hive.tail);
        if (rest.head.length() > 0) path.push_back(rest.head);
        if (rest.tail.length() > 0) path.push_back(rest.tail);
    }
    if (root != vrk::reg::kLocalMachine && root != vrk::reg::kCurrentUser) return false;
    return path.empty() || (path.size() == 1 && equalsIgnoringCase(path[0], "Software"));
}

}  // namespace vrk::profilestore
