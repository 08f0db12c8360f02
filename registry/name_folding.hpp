// Names as the registry compares and orders them, for the stores of our own
// (the SQLite store and hive files), so that both find and order names alike.
//
// A name that is valid UTF-8 is taken as the UTF-16 text the registry holds:
// its length counts UTF-16 code units, and it compares by its code units each
// upper-cased with Unicode's simple upper-case mapping (a unit of a surrogate
// pair stays as it is). Any other name keeps the byte-wise handling: its
// length counts bytes, and only a to z are upper-cased.
//
// The folded form (sortName) is what the store looks names up and orders
// them by: a tag byte, then for UTF-8 names the upper-cased code units as
// big-endian pairs (so that byte order is code unit order), for other names
// the upper-cased bytes. UTF-8 names therefore list before the others.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vrk::reg {

// The tags that start a folded name.
constexpr char kUnicodeTag = '\x01';
constexpr char kBytesTag = '\x02';

// The folded name: how names are looked up and ordered.
std::string sortName(std::string_view name);

// The folded name that a store of an earlier version gave the name when the
// new folding made it equal to another one's (byte-wise folding, kBytesTag).
// Lookups try sortName first, then this.
std::string byteSortName(std::string_view name);

}  // namespace vrk::reg
