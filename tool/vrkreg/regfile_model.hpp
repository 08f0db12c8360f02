// What a .reg file holds, independent of any registry: key paths, the
// changes a file asks for, and the key blocks an export writes.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/iregistry.hpp"

namespace vrk::regfile {

// A key below one of the four roots; subKey "" is the root itself. subKey
// never starts or ends with a backslash and has no empty level.
struct KeyPath {
    vrk::reg::Key root = vrk::reg::kLocalMachine;
    std::string subKey;
    friend bool operator==(const KeyPath&, const KeyPath&) = default;
};

// The long name of a root ("HKEY_LOCAL_MACHINE"), or "" for a key that is no root.
const char* rootLongName(vrk::reg::Key root);

// Looks a root word up, letter case ignored. Long names always match; short
// ones (HKLM, HKCU, HKU, HKCR) only with allowShortNames. Returns false when
// the word names no root we keep.
bool rootFromName(std::string_view word, bool allowShortNames, vrk::reg::Key& root);

// The full path as written in files and reports: "HKEY_LOCAL_MACHINE\Software\X".
std::string fullPath(const KeyPath& key);

// One change of an import, in file order.
struct Operation {
    enum class Kind {
        openKey,      // [KEY]: create the key and missing parents; later values go there
        deleteKey,    // [-KEY]: delete the key with its subtree; missing is no error
        setValue,     // "name"=data or @=data
        deleteValue,  // "name"=- or @=-; a missing value is no error
    };
    Kind kind = Kind::openKey;
    unsigned line = 0;       // line of the file where the change is written
    KeyPath key;             // the key it applies to
    std::string name;        // value name; "" is the default value
    std::uint32_t type = 0;  // for setValue: the REG_* type
    std::string data;        // for setValue: the bytes to store
    friend bool operator==(const Operation&, const Operation&) = default;
};

// One value of an exported key.
struct ValueEntry {
    std::string name;  // "" is the default value
    std::uint32_t type = 0;
    std::string data;
    friend bool operator==(const ValueEntry&, const ValueEntry&) = default;
};

// One key of an export with its values, in the order they are written.
struct KeyBlock {
    KeyPath key;
    std::vector<ValueEntry> values;
    friend bool operator==(const KeyBlock&, const KeyBlock&) = default;
};

// Limits the registry puts on names, in characters.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

}  // namespace vrk::regfile
