// The argument rules every store backend of ours (the SQLite store, hive
// files) applies as the registry does: access rights with generic rights
// mapped, key paths split into names, and the length limits of names,
// counted in UTF-16 code units.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vrk::reg {

struct Key;

// Access rights (winnt.h values) as they matter to a store.
constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kCreateSubKey = 0x0004;
constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kAllRights = 0x000F003F;

// The longest key name and value name, in UTF-16 code units.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The length of a name in UTF-16 code units when it is valid UTF-8, else its
// number of bytes.
std::size_t nameLength(std::string_view name);

// The rights an access mask asks for, generic rights mapped; the view flags
// are not rights.
std::uint32_t grantedRights(std::uint32_t access);

// Whether rights allow a change (setting a value or creating a subkey).
inline bool wantsWrite(std::uint32_t rights) { return (rights & (kSetValue | kCreateSubKey)) != 0; }

// Splits a key path relative to some key into its names: kBadPathname for a
// leading backslash, kInvalidParameter for an empty or over-long name;
// trailing backslashes are ignored and "" (or null) names the key itself.
// The parts view path's bytes.
long splitPath(const char* path, std::vector<std::string_view>& parts);

// splitPath for an open: below the HKEY_CLASSES_ROOT root itself one leading
// backslash is taken as none, as Windows 2000 and later do; everywhere else
// (and for every create) a leading backslash is kBadPathname.
long splitOpenPath(Key parent, const char* path, std::vector<std::string_view>& parts);

// The start of createKeyEx and openKeyEx (see the table in iregistry.hpp):
// result null is nullResult (kBadKey for a create, kInvalidParameter for an
// open) and a null parent kInvalidHandle, both leaving *result as it was;
// past them *result is kNullKey until the call finds its key.
long startKeyCall(Key parent, Key* result, long nullResult);

// queryValueEx's own arguments on a key opened with the rights granted:
// data without size is kInvalidParameter, a key without the right to query
// values kAccessDenied, then the value name as checkValueName takes it.
long checkQueryArguments(std::uint32_t granted, const unsigned char* data,
                         const std::uint32_t* size, const char* valueName, std::string_view& name);

// setValueEx's own arguments on a key opened with the rights granted: data
// null with a size is kNoAccess, a key without the right to set values
// kAccessDenied, then the value name as checkValueName takes it.
long checkSetArguments(std::uint32_t granted, const unsigned char* data, std::uint32_t size,
                       const char* valueName, std::string_view& name);

// A value name as a view (null is the default value, ""); kInvalidParameter
// when it is too long.
long checkValueName(const char* name, std::string_view& out);

}  // namespace vrk::reg
