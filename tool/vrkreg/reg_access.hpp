// Registry helpers for the registry command: failures as exceptions with a
// readable text, an owning key handle, reading a key's values and subkeys or
// a whole subtree, and deleting a subtree.
//
// Thread safety: as the registry passed in; one thread per handle.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "registry/iregistry.hpp"
#include "registry/key_holder.hpp"
#include "tool/vrkreg/regfile_model.hpp"

namespace vrk::regfile {

// A failure of the command, its text ready for standard error.
class CommandFailure : public std::runtime_error {
public:
    explicit CommandFailure(const std::string& text, long error = 0)
        : std::runtime_error(text), error_(error) {}
    // The registry's error number, or 0 for failures of another kind.
    long error() const { return error_; }

private:
    long error_;
};

// The system's text for a registry error number ("Access is denied.").
std::string errorMeaning(long error);

// "<what>: error N (meaning)", followed by "; <detail>" when the registry
// gives a detail for the failure.
std::string failureText(vrk::reg::Registry& reg, const std::string& what, long error);

// Throws CommandFailure with failureText(reg, what, error).
[[noreturn]] void throwFailure(vrk::reg::Registry& reg, const std::string& what, long error);

// Makes the command's changes below key's root durable (the registry layer's
// flush) before it reports success. Throws CommandFailure when the store
// cannot, so that a change that never reached the disk is not reported done.
void flushChanges(vrk::reg::Registry& reg, const KeyPath& key);

// An open key, closed when the object goes away; roots are never closed.
using OpenKey = vrk::reg::KeyHolder;

// Opens an existing key (the root itself for an empty subKey). Throws
// CommandFailure naming the key when it cannot.
OpenKey openExisting(vrk::reg::Registry& reg, const KeyPath& path, std::uint32_t access);

// Opens the key, creating it and missing parents. Throws CommandFailure.
OpenKey openOrCreate(vrk::reg::Registry& reg, const KeyPath& path);

// The values of an open key in the registry's order. pathText names the
// key in failures.
std::vector<ValueEntry> readValues(vrk::reg::Registry& reg, vrk::reg::Key key,
                                   const std::string& pathText);

// The names of the subkeys of an open key in the registry's order.
std::vector<std::string> readSubkeyNames(vrk::reg::Registry& reg, vrk::reg::Key key,
                                         const std::string& pathText);

// Calls visit for the key and every key below it, key first, then each
// subkey's subtree in the registry's order, with an open handle (valid
// during the call) and the key's path. Holds one open key per level and no
// call-stack frame per level, so any depth can be walked. Throws
// CommandFailure when a key cannot be opened or listed.
void walkTree(vrk::reg::Registry& reg, const KeyPath& top,
              const std::function<void(vrk::reg::Key, const KeyPath&)>& visit);

// The key and every key below it, each with its values, in walkTree's order.
std::vector<KeyBlock> readTree(vrk::reg::Registry& reg, const KeyPath& top);

// Deletes the key with its whole subtree, deepest keys first, at any depth.
// Returns false (changing nothing) when the key does not exist; throws
// CommandFailure on any other failure. A key that another process deletes
// meanwhile counts as deleted; a key that gains a subkey meanwhile is walked
// again. The root keys themselves cannot be deleted.
bool deleteTree(vrk::reg::Registry& reg, const KeyPath& path);

}  // namespace vrk::regfile
