// What the store fault loop reads of a store: every key with its values,
// SQLite's integrity check of the hive files, and the comparisons of one
// state with another, whole, hive by hive and entry by entry.
//
// Thread safety: test code, one thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vrk::test {

// Every key of the store by its full path ("HKLM\\Software\\..."), with its
// values (name, type and bytes, one string each) in enumeration order.
using Snapshot = std::map<std::string, std::vector<std::string>>;

// The whole store in directory store.
Snapshot snapshot(const std::string& store);

// "ok", or SQLite's complaint about a hive file of the store.
std::string integrity(const std::string& store);

// Replaces the directory to with a copy of the files of from.
void copyStore(const std::string& from, const std::string& to);

// The keys in which actual differs from expected, one line each.
std::string difference(const Snapshot& actual, const Snapshot& expected);

// Whether every hive of now holds its state in before or its state in after.
bool eachHiveBeforeOrAfter(const Snapshot& now, const Snapshot& before, const Snapshot& after);

// One profile entry's state: its values, or nothing when its key is absent.
using Entry = std::optional<std::vector<std::string>>;
Entry entryOf(const Snapshot& s, const std::string& path);

// Whether an entry is old, new, or part-way through being replaced by the
// new one: a replace deletes the old values and writes the new ones in
// order, and what a failed write wrote stays.
bool oldNewOrPartWay(const Entry& now, const Entry& before, const Entry& after);

}  // namespace vrk::test
