// Keys a run made, written straight into a hive file image instead of
// through hivex: hivex's hivex_node_add_child reads and converts the name of
// every sibling and copies the parent's whole subkey list for each key it
// adds, so adding thousands of keys below one key costs the square of their
// number in time and in dead cells. The registry keeps its new keys in its
// own tree and, at the commit, appends their records to the image hivex
// wrote: key records, their values and value lists, and for every key that
// gained subkeys one new subkey list in Windows' order (lh records, split
// below an ri record when long). The compactor then keeps only what is
// reachable, so the parents' old lists vanish from the file.
//
// New keys take their parent's security cell (the compactor recounts the
// references), have no class name (as hivex writes them) and carry their
// last-write time. Names and data are written as hivex writes them: a name
// whose characters all fit in Latin-1 compressed to one byte each, data of
// at most 4 bytes inside the value record, longer data in one cell.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "registry/hive/hive_records.hpp"

namespace vrk::reg::hive {

// One subkey in a new subkey list: a key of the image (added false, ref its
// hivex node: an offset in the file) or a new key (added true, ref its
// index in HiveAdditions::keys).
struct SubkeyRef {
    bool added = false;
    std::size_t ref = 0;
    std::string name;  // UTF-8, for the list's hash
};

struct AddedKeyRecord {
    static constexpr std::size_t kNoParent = std::numeric_limits<std::size_t>::max();
    std::string name;                // UTF-8
    std::size_t parent = kNoParent;  // index in keys, or kNoParent: below parentNode
    Node parentNode = 0;             // a key of the image
    std::uint64_t written = 0;       // last-write time; 0: the parent's
    const std::vector<StoredValue>* values = nullptr;
    std::vector<SubkeyRef> subkeys;  // in Windows' order
};

struct HiveAdditions {
    std::vector<AddedKeyRecord> keys;  // a parent before its children
    // Keys of the image that gained subkeys, each with its whole new list in
    // Windows' order.
    std::vector<std::pair<Node, std::vector<SubkeyRef>>> parents;
    bool empty() const { return keys.empty() && parents.empty(); }
};

// Appends the records of additions to image (a whole hive file as hivex
// wrote it) and links them in. False, with the reason in *why, when a parent
// record of the image is not a key record or a list would not fit a record.
bool appendAdditions(std::string& image, const HiveAdditions& additions, std::string* why);

}  // namespace vrk::reg::hive
