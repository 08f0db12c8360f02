// Reading a hive's records strictly, through hivex's length-aware calls:
// names are taken whole (real hives hold names with zero characters), a
// record hivex cannot read is damage and never taken for something else,
// and a key's subkey list may point only at keys whose parent it is (a list
// that points back at an ancestor would make every walk endless).
//
// Thread safety: pure functions over a hive the caller serializes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

typedef struct hive_h hive_h;

namespace vrk::reg::hive {

using Node = std::size_t;  // hivex's node handle (an offset in the hive)

// One value as stored.
struct StoredValue {
    std::string name;  // whole, zero characters included
    std::uint32_t type = 0;
    std::string raw;  // the bytes in the hive
};

// The key's name, whole. False when it cannot be read.
bool nodeName(hive_h* h, Node node, std::string& name);

// The key's path below the hive's root ("\A\B", "\" for the root), for
// messages: a name that cannot be read shows as "?", a zero character as
// "\0".
std::string keyPathOf(hive_h* h, Node node);

// The subkeys of node with their whole names, in stored order. False, with
// the reason in *why, when the list or a name cannot be read or the list
// names a key that is not node's child.
bool readSubkeys(hive_h* h, Node node, std::vector<std::pair<std::string, Node>>& out,
                 std::string* why);

// The values of node in stored order. False, with the reason in *why, when
// the list or any value record cannot be read.
bool readStoredValues(hive_h* h, Node node, std::vector<StoredValue>& out, std::string* why);

// Whether a name holds a zero character (hivex's writers take names as C
// strings and would cut it short).
inline bool hasZero(const std::string& name) { return name.find('\0') != std::string::npos; }

}  // namespace vrk::reg::hive
