// The registry layer: one small interface shaped like the Windows registry
// calls (their ANSI forms) that the profile store and the registry command
// make.
//
// Backends:
//   - sqlite/  (Linux) our own store with the registry's semantics, kept in
//              SQLite, one database file for the hives that share a
//              directory (SqliteRegistry);
//   - hive/    (Linux) the hive files of an offline Windows image, through
//              hivex, when the environment names one (HiveRegistry);
//   - win32/   (Windows) the real registry calls (advapi32);
//   - ForwardingRegistry and its test wrappers (testing/registry_wrappers.hpp)
//     wrap any backend for tests.
// What the rules of every call are lives in registry_rules.hpp; what our own
// stores share around each call, in store_call.hpp.
//
// Arguments and outputs follow Windows' answers, call by call:
//
//   call          argument                      answer
//   createKeyEx   result null                   kBadKey
//                 parent kNullKey               kInvalidHandle, *result untouched
//                 subKey null or ""             the parent itself: a root comes
//                                               back as it is, a handle as a
//                                               new handle
//                 any later failure             *result set to kNullKey,
//                                               *disposition untouched
//   openKeyEx     result null                   kInvalidParameter
//                 parent kNullKey               kInvalidHandle, *result untouched
//                 subKey null or ""             as for createKeyEx
//                 missing key, any later        *result set to kNullKey
//                 failure
//   openKey       subKey null or "" with a      success, *result = parent
//   (legacy)      root or kNullKey
//   createKey     result null                   kInvalidParameter
//   deleteKey     subKey null                   kInvalidParameter, nothing deleted
//                 subKey ""                     deletes the key itself
//   queryValueEx  missing value, data null      kFileNotFound, *size set to 0
//                 missing value, data given     kFileNotFound, *size untouched
//                 data given, size null         kInvalidParameter
//   setValueEx    data null, size not 0         kNoAccess
//   enumValue     name or nameSize null         kInvalidParameter
//                 name or data buffer too       kMoreData; *type and *dataSize
//                 small                         set; name, *nameSize and data
//                                               untouched
//
// Text values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are the caller's bytes,
// the same from every backend, the Windows registry included:
//   - setValueEx keeps exactly the size bytes given: no zero is added to
//     them and none is taken away. A terminating zero is stored only when
//     the caller counts it: "hello" written with size 5 is 5 bytes, with
//     size 6 it is 6 bytes ending in the zero (Windows' reg stores text so);
//   - queryValueEx and enumValue give back those bytes, and their size;
//   - as Windows' ANSI calls do, when the buffer has room beyond them and
//     the text is not empty and does not end in a zero byte, one zero byte is
//     written after the text. It is not counted in the size. A buffer that
//     holds the text but not that zero is enough.
// Windows' RegSetValueExA also stores one byte more than it is given when
// the text does not end in a zero and the byte after the given size is a
// zero (it reads past the size); this interface never reads past the size,
// and the Windows backend keeps the call from doing it. Readers that take
// the text up to the first zero byte (the profile store) see the same
// either way.
//
// Where this interface departs from Windows on purpose (WINDOWS-DIFFERENCES.md
// beside this file lists them with the reasons, and the calls it leaves out):
//   - every call, successful or not, leaves its result as the calling thread's
//     last-error value (vrk::platform::setLastError), so that an exception
//     raised after a failed call carries a meaningful error id; the Windows
//     calls return their error and leave the last error alone;
//   - a volatile key (kRegOptionVolatile) is told apart for the rule that
//     keys below it must be volatile too, and goes with a restart of the
//     system only in the SQLite store, when a process first opens it in a
//     later boot; the hive store keeps it like any other key;
//   - openKey of "" below a handle (not a root) opens a new handle that the
//     caller closes, where Windows hands back the same handle.
//
// Thread safety: a backend may be used from several threads; a Key handle is
// used by one thread at a time.
#pragma once

#include <cstdint>

namespace vrk::reg {

// An open key. The four roots are predefined handles, used as parents
// without being opened or closed; their values are those of Windows.
struct Key {
    std::uintptr_t value = 0;
    friend constexpr bool operator==(Key, Key) = default;
};
inline constexpr Key kNullKey{0};
inline constexpr Key kClassesRoot{0x80000000u};
inline constexpr Key kCurrentUser{0x80000001u};
inline constexpr Key kLocalMachine{0x80000002u};
inline constexpr Key kUsers{0x80000003u};

constexpr bool isRootKey(Key k) {
    return k == kClassesRoot || k == kCurrentUser || k == kLocalMachine || k == kUsers;
}

// Error numbers (Windows' values).
enum : long {
    kSuccess = 0,
    kFileNotFound = 2,         // ERROR_FILE_NOT_FOUND: no such key or value
    kAccessDenied = 5,         // ERROR_ACCESS_DENIED: key has subkeys; store not writable
    kInvalidHandle = 6,        // ERROR_INVALID_HANDLE
    kNotSupported = 50,        // ERROR_NOT_SUPPORTED: a batch that would span two store files
    kNotEnoughMemory = 8,      // ERROR_NOT_ENOUGH_MEMORY
    kInvalidParameter = 87,    // ERROR_INVALID_PARAMETER: empty or over-long name
    kBadPathname = 161,        // ERROR_BAD_PATHNAME: leading backslash
    kMoreData = 234,           // ERROR_MORE_DATA: buffer too small
    kNoMoreItems = 259,        // ERROR_NO_MORE_ITEMS: enumeration index past the end
    kBadDb = 1009,             // ERROR_BADDB: the store's file is corrupt or foreign
    kNoAccess = 998,           // ERROR_NOACCESS: no data behind a non-zero size
    kBadKey = 1010,            // ERROR_BADKEY: no place for the handle; a key deeper
                               // than kMaxKeyDepth levels below its root
    kRegistryIoFailed = 1016,  // ERROR_REGISTRY_IO_FAILED: the store could not be read or written
    kKeyDeleted = 1018,        // ERROR_KEY_DELETED: the handle's key was deleted
    kChildMustBeVolatile = 1021,  // ERROR_CHILD_MUST_BE_VOLATILE: a lasting key below a
                                  // volatile one
};

// The deepest a key may lie below its root (Windows documents 512 levels).
// Creating a key deeper than this fails with kBadKey.
inline constexpr int kMaxKeyDepth = 512;

// Value types (REG_*).
enum : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegDwordBigEndian = 5,
    kRegLink = 6,
    kRegMultiSz = 7,
    kRegQword = 11,
};

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: the types the ANSI calls convert
// as text.
constexpr bool isTextValueType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Access masks and dispositions.
enum : std::uint32_t {
    kKeyRead = 0x20019,
    kKeyWrite = 0x20006,
    kKeyReadWrite = 0x2001F,
    kKeyWow64_32Key = 0x0200,
    kCreatedNewKey = 1,
    kOpenedExistingKey = 2,
    kRegOptionVolatile = 1,  // createKeyEx's option REG_OPTION_VOLATILE
};

// What RegQueryInfoKey tells of a key besides its class. Name lengths count
// UTF-16 code units, without a terminator.
struct KeyInfo {
    std::uint32_t subKeys = 0;
    std::uint32_t maxSubKeyLength = 0;  // the longest subkey name
    std::uint32_t maxClassLength = 0;   // the longest class of a subkey
    std::uint32_t values = 0;           // the default value included
    std::uint32_t maxValueNameLength = 0;
    std::uint32_t maxValueLength = 0;  // the longest data in bytes as Windows keeps
                                       // it: text as UTF-16, two bytes a unit
    std::uint64_t lastWriteTime = 0;   // a FILETIME: 100 ns units since 1601 (UTC)
};

// The time now as a FILETIME.
std::uint64_t fileTimeNow();

class Registry {
public:
    virtual ~Registry() = default;

    // RegCreateKeyEx: opens subKey below parent, creating it and any missing
    // levels ("a\b\c"). Sets *disposition (may be null) to kCreatedNewKey or
    // kOpenedExistingKey. On failure *result is kNullKey, except for the
    // argument checks in the table above. A key that would lie more than
    // kMaxKeyDepth levels below its root: kBadKey, nothing created.
    virtual long createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                             std::uint32_t access, Key* result, std::uint32_t* disposition) = 0;
    // RegCreateKeyEx with a class: as createKeyEx, and each key it creates
    // keeps keyClass (null or "": no class) for queryInfoKey; an existing key
    // keeps its own. options: 0, or kRegOptionVolatile; a key that is not
    // volatile cannot be created below a volatile one (kChildMustBeVolatile,
    // nothing created), an existing one opens whatever the options. A key
    // created, and the key a subkey is created below, get the time now as
    // their last-write time. The default creates with createKeyEx when
    // keyClass is null or "", and answers kNotSupported otherwise.
    virtual long createKeyExWithClass(Key parent, const char* subKey, const char* keyClass,
                                      std::uint32_t options, std::uint32_t access, Key* result,
                                      std::uint32_t* disposition);
    // RegQueryInfoKey (the ANSI form): the key's class into keyClass, a
    // buffer of *classSize bytes, and the numbers in *info (may be null).
    // keyClass given without classSize: kInvalidParameter. *classSize out:
    // the class's length in bytes, without a terminator. A buffer of 0
    // bytes: success, *classSize 0, nothing written; one too small for the
    // class and its zero: kMoreData, as much of the class as fits with a
    // zero after it, *classSize the bytes written before the zero. The
    // last-write time changes when the key is created, a value of it is set
    // or deleted, or a subkey of it created or deleted. The default answers
    // kNotSupported.
    virtual long queryInfoKey(Key key, char* keyClass, std::uint32_t* classSize, KeyInfo* info);
    // RegOpenKeyEx: opens an existing key; kFileNotFound when any level is
    // missing. On failure *result is kNullKey, except for the argument checks
    // in the table above.
    virtual long openKeyEx(Key parent, const char* subKey, std::uint32_t access, Key* result) = 0;
    // RegQueryValueEx: valueName null or "" is the default (unnamed) value.
    // data null: success and *size set to the stored byte count. *size smaller
    // than the stored count: kMoreData, data untouched, *size set to the count.
    // A missing value: kFileNotFound, and *size 0 when data is null. type may
    // be null. Text: see "Text values" above.
    virtual long queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                              unsigned char* data, std::uint32_t* size) = 0;
    // RegSetValueEx: creates or replaces the value with exactly these bytes
    // (data may be null when size is 0); text gets no terminator added.
    virtual long setValueEx(Key key, const char* valueName, std::uint32_t type,
                            const unsigned char* data, std::uint32_t size) = 0;
    // RegDeleteKey: deletes subKey of key ("" the key itself);
    // kInvalidParameter for a null subKey, kAccessDenied when it has
    // subkeys, kFileNotFound when missing.
    virtual long deleteKey(Key key, const char* subKey) = 0;
    // RegDeleteValue.
    virtual long deleteValue(Key key, const char* valueName) = 0;
    // RegEnumKey: the subkey name at index (Windows order) into name, zero
    // terminated. kNoMoreItems past the end; kMoreData when nameSize cannot
    // hold the name and its terminator (nothing copied).
    virtual long enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) = 0;
    // RegEnumValue: the value at index in creation order. *nameSize is the
    // name buffer's size in, the name's length (without terminator) out.
    // data/dataSize as for queryValueEx; type may be null. A name or data
    // buffer too small: kMoreData with *type and *dataSize set, so that the
    // caller can retry; nothing else is written.
    virtual long enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                           std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) = 0;
    // RegCloseKey. Closing a root key is a no-op that succeeds.
    virtual long closeKey(Key key) = 0;
    // RegFlushKey: makes every completed change of key's hive durable on disk
    // before it returns (the store otherwise writes its changes to disk
    // lazily). The default does nothing and succeeds.
    virtual long flushKey(Key key);

    // The legacy plain forms, working on the unnamed value of a named subkey
    // (subKey null or "" means key itself). The defaults build them from the
    // calls above; the Windows backend calls the real functions.
    // RegCreateKey: createKeyEx with read and write access.
    virtual long createKey(Key parent, const char* subKey, Key* result);
    // RegOpenKey: openKeyEx with read and write access; no subKey with a
    // root (or kNullKey) gives parent itself.
    virtual long openKey(Key parent, const char* subKey, Key* result);
    // RegQueryValue: the text of subKey's unnamed value, *size in bytes
    // including a terminating zero (data null: size only).
    virtual long queryValue(Key key, const char* subKey, char* data, std::int32_t* size);
    // RegSetValue: creates subKey and sets its unnamed value to the text
    // with its terminating zero (size is ignored)
    // (type must be kRegSz).
    virtual long setValue(Key key, const char* subKey, std::uint32_t type, const char* data,
                          std::uint32_t size);

    // A batch groups the calls that follow into one atomic, durable change
    // (a bulk import). The defaults do nothing and succeed; a backend without
    // transactions gives no more than its single calls give. A backend that
    // cannot make some combination of changes atomic refuses the first call
    // that would need it with kNotSupported before anything is committed
    // (lastFailureDetail says why); the caller then rolls back.
    virtual long beginBatch() { return kSuccess; }
    virtual long commitBatch() { return kSuccess; }
    virtual long rollbackBatch() { return kSuccess; }

    // A readable explanation of the last failure on this thread beyond its
    // number (for example the database file and SQLite's message), or "".
    virtual const char* lastFailureDetail() const { return ""; }
};

// The registry every caller uses: the platform's own backend unless a test
// installed another. setRegistry(nullptr) restores the platform's backend.
// The caller keeps ownership of what it installs.
Registry& registry();
void setRegistry(Registry* replacement);

// The platform's own backend (SQLite on Linux, advapi32 on Windows).
Registry& platformRegistry();

}  // namespace vrk::reg
