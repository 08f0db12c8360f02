#include "tool/vrkreg/reg_access.hpp"

namespace vrk::regfile {

using vrk::reg::Key;
using vrk::reg::Registry;

namespace {

// Large enough for any key name (255 characters of up to four bytes) and
// any value name the store keeps.
constexpr std::uint32_t kKeyNameBuffer = 1024;
constexpr std::uint32_t kValueNameBuffer = 65536;

// How often a subtree deletion walks again when another process changes
// the subtree under it, before it gives up.
constexpr unsigned kMaxDeleteRetries = 1000;

// The parent of a key below a root and the key's last name.
KeyPath parentOf(const KeyPath& path, std::string& lastName) {
    const std::size_t cut = path.subKey.rfind('\\');
    KeyPath parent{path.root,
                   cut == std::string::npos ? std::string() : path.subKey.substr(0, cut)};
    lastName = cut == std::string::npos ? path.subKey : path.subKey.substr(cut + 1);
    return parent;
}

}  // namespace

std::string errorMeaning(long error) {
    switch (error) {
    case vrk::reg::kSuccess: return "The operation completed successfully.";
    case vrk::reg::kFileNotFound: return "The system cannot find the file specified.";
    case vrk::reg::kAccessDenied: return "Access is denied.";
    case vrk::reg::kInvalidHandle: return "The handle is invalid.";
    case vrk::reg::kNotEnoughMemory:
        return "Not enough memory resources are available to process this command.";
    case vrk::reg::kInvalidParameter: return "The parameter is incorrect.";
    case vrk::reg::kBadPathname: return "The specified path is invalid.";
    case vrk::reg::kMoreData: return "More data is available.";
    case vrk::reg::kNoMoreItems: return "No more data is available.";
    case vrk::reg::kBadDb: return "The configuration registry database is corrupt.";
    case vrk::reg::kBadKey: return "The configuration registry key is invalid.";
    case vrk::reg::kRegistryIoFailed:
        return "An I/O operation initiated by the registry failed unrecoverably.";
    case vrk::reg::kKeyDeleted:
        return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default: return "Unknown error.";
    }
}

std::string failureText(Registry& reg, const std::string& what, long error) {
    std::string text = what + ": error " + std::to_string(error) + " (" + errorMeaning(error) + ")";
    const char* detail = reg.lastFailureDetail();
    if (detail != nullptr && *detail != '\0') {
        text += "; ";
        text += detail;
    }
    return text;
}

void throwFailure(Registry& reg, const std::string& what, long error) {
    throw CommandFailure(failureText(reg, what, error), error);
}

OpenKey openExisting(Registry& reg, const KeyPath& path, std::uint32_t access) {
    if (path.subKey.empty()) return OpenKey(reg, path.root);
    Key raw = vrk::reg::kNullKey;
    const long rc = reg.openKeyEx(path.root, path.subKey.c_str(), access, &raw);
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + fullPath(path), rc);
    return OpenKey(reg, raw);
}

OpenKey openOrCreate(Registry& reg, const KeyPath& path) {
    if (path.subKey.empty()) return OpenKey(reg, path.root);
    Key raw = vrk::reg::kNullKey;
    const long rc =
        reg.createKeyEx(path.root, path.subKey.c_str(), 0, vrk::reg::kKeyReadWrite, &raw, nullptr);
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot create " + fullPath(path), rc);
    return OpenKey(reg, raw);
}

std::vector<ValueEntry> readValues(Registry& reg, Key key, const std::string& pathText) {
    std::vector<ValueEntry> values;
    std::vector<char> name(kValueNameBuffer);
    for (std::uint32_t index = 0;; ++index) {
        // Size first, then the bytes; a value that grew in between is read again.
        for (int attempt = 0;; ++attempt) {
            std::uint32_t nameSize = kValueNameBuffer;
            std::uint32_t type = 0;
            std::uint32_t dataSize = 0;
            long rc = reg.enumValue(key, index, name.data(), &nameSize, &type, nullptr, &dataSize);
            if (rc == vrk::reg::kNoMoreItems) return values;
            if (rc != vrk::reg::kSuccess)
                throwFailure(reg, "cannot read the values of " + pathText, rc);
            std::string data(dataSize, '\0');
            unsigned char buffer = 0;
            unsigned char* dataPtr =
                dataSize ? reinterpret_cast<unsigned char*>(data.data()) : &buffer;
            nameSize = kValueNameBuffer;
            rc = reg.enumValue(key, index, name.data(), &nameSize, &type, dataPtr, &dataSize);
            if (rc == vrk::reg::kMoreData && attempt < 8) continue;
            if (rc != vrk::reg::kSuccess)
                throwFailure(reg, "cannot read the values of " + pathText, rc);
            data.resize(dataSize);
            values.push_back({std::string(name.data(), nameSize), type, std::move(data)});
            break;
        }
    }
}

std::vector<std::string> readSubkeyNames(Registry& reg, Key key, const std::string& pathText) {
    std::vector<std::string> names;
    char name[kKeyNameBuffer];
    for (std::uint32_t index = 0;; ++index) {
        const long rc = reg.enumKey(key, index, name, kKeyNameBuffer);
        if (rc == vrk::reg::kNoMoreItems) return names;
        if (rc != vrk::reg::kSuccess)
            throwFailure(reg, "cannot list the subkeys of " + pathText, rc);
        names.emplace_back(name);
    }
}

void walkTree(Registry& reg, const KeyPath& top,
              const std::function<void(Key, const KeyPath&)>& visit) {
    // One frame per level of the path being walked: memory follows the
    // depth, and no level of the tree costs a level of the call stack.
    struct Frame {
        OpenKey key;
        std::uint32_t next;      // index of the next subkey to visit
        std::size_t pathLength;  // length of path.subKey at this level
    };
    KeyPath path = top;
    std::vector<Frame> stack;
    stack.push_back({openExisting(reg, top, vrk::reg::kKeyRead), 0, top.subKey.size()});
    visit(stack.back().key.get(), path);
    char name[kKeyNameBuffer];
    while (!stack.empty()) {
        Frame& frame = stack.back();
        path.subKey.resize(frame.pathLength);
        long rc = reg.enumKey(frame.key.get(), frame.next, name, kKeyNameBuffer);
        if (rc == vrk::reg::kNoMoreItems) {
            stack.pop_back();
            continue;
        }
        if (rc != vrk::reg::kSuccess)
            throwFailure(reg, "cannot list the subkeys of " + fullPath(path), rc);
        ++frame.next;
        Key raw = vrk::reg::kNullKey;
        rc = reg.openKeyEx(frame.key.get(), name, vrk::reg::kKeyRead, &raw);
        if (!path.subKey.empty()) path.subKey += '\\';
        path.subKey += name;
        if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + fullPath(path), rc);
        stack.push_back({OpenKey(reg, raw), 0, path.subKey.size()});
        visit(raw, path);
    }
}

std::vector<KeyBlock> readTree(Registry& reg, const KeyPath& top) {
    std::vector<KeyBlock> blocks;
    walkTree(reg, top, [&](Key key, const KeyPath& path) {
        blocks.push_back({path, readValues(reg, key, fullPath(path))});
    });
    return blocks;
}

bool deleteTree(Registry& reg, const KeyPath& path) {
    if (path.subKey.empty()) throw CommandFailure("cannot delete the root key " + fullPath(path));
    std::string lastName;
    const KeyPath parentPath = parentOf(path, lastName);
    Key parentRaw = parentPath.root;
    if (!parentPath.subKey.empty()) {
        const long rc = reg.openKeyEx(parentPath.root, parentPath.subKey.c_str(),
                                      vrk::reg::kKeyReadWrite, &parentRaw);
        if (rc == vrk::reg::kFileNotFound || rc == vrk::reg::kKeyDeleted) return false;
        if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + fullPath(parentPath), rc);
    }
    const OpenKey parent(reg, parentRaw);
    Key topRaw = vrk::reg::kNullKey;
    long rc = reg.openKeyEx(parent.get(), lastName.c_str(), vrk::reg::kKeyReadWrite, &topRaw);
    if (rc == vrk::reg::kFileNotFound || rc == vrk::reg::kKeyDeleted) return false;
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + fullPath(path), rc);

    // Deepest keys first, without recursion: the first subkey of the key on
    // top of the stack is opened and pushed until a key has none; that key is
    // then deleted from its parent. Another process may delete or create
    // keys of the subtree meanwhile: a key already gone counts as deleted,
    // and a key that gained a subkey is walked again.
    struct Frame {
        OpenKey key;
        std::string name;        // the key's name in its parent
        std::size_t pathLength;  // length of pathText at this level
    };
    std::string pathText = fullPath(path);
    std::vector<Frame> stack;
    stack.push_back({OpenKey(reg, topRaw), lastName, pathText.size()});
    unsigned retries = 0;
    const auto retry = [&](const std::string& what, long error) {
        if (++retries > kMaxDeleteRetries) throwFailure(reg, what, error);
    };
    char name[kKeyNameBuffer];
    while (!stack.empty()) {
        pathText.resize(stack.back().pathLength);
        rc = reg.enumKey(stack.back().key.get(), 0, name, kKeyNameBuffer);
        if (rc == vrk::reg::kSuccess) {
            Key child = vrk::reg::kNullKey;
            const std::size_t parentLength = pathText.size();
            pathText += '\\';
            pathText += name;
            rc = reg.openKeyEx(stack.back().key.get(), name, vrk::reg::kKeyReadWrite, &child);
            if (rc == vrk::reg::kSuccess) {
                stack.push_back({OpenKey(reg, child), name, pathText.size()});
                continue;
            }
            if (rc == vrk::reg::kFileNotFound) {  // deleted meanwhile: list again
                retry("cannot open " + pathText, rc);
                continue;
            }
            if (rc != vrk::reg::kKeyDeleted) throwFailure(reg, "cannot open " + pathText, rc);
            pathText.resize(parentLength);
        } else if (rc != vrk::reg::kNoMoreItems && rc != vrk::reg::kKeyDeleted) {
            throwFailure(reg, "cannot list the subkeys of " + pathText, rc);
        }
        // The key has no subkey left, or is gone already: delete it.
        const std::string keyName = std::move(stack.back().name);
        stack.pop_back();
        const Key from = stack.empty() ? parent.get() : stack.back().key.get();
        rc = reg.deleteKey(from, keyName.c_str());
        if (rc == vrk::reg::kSuccess || rc == vrk::reg::kFileNotFound ||
            rc == vrk::reg::kKeyDeleted)
            continue;
        if (rc != vrk::reg::kAccessDenied) throwFailure(reg, "cannot delete " + pathText, rc);
        // Access denied is also the answer for a key with subkeys: when the
        // key gained one meanwhile, it is walked again.
        const long denied = rc;
        const std::string deniedText = failureText(reg, "cannot delete " + pathText, denied);
        Key again = vrk::reg::kNullKey;
        rc = reg.openKeyEx(from, keyName.c_str(), vrk::reg::kKeyReadWrite, &again);
        if (rc == vrk::reg::kFileNotFound || rc == vrk::reg::kKeyDeleted) continue;
        if (rc != vrk::reg::kSuccess) throw CommandFailure(deniedText, denied);
        OpenKey reopened(reg, again);
        if (reg.enumKey(reopened.get(), 0, name, kKeyNameBuffer) != vrk::reg::kSuccess)
            throw CommandFailure(deniedText, denied);
        if (++retries > kMaxDeleteRetries) throw CommandFailure(deniedText, denied);
        stack.push_back({std::move(reopened), keyName, pathText.size()});
    }
    return true;
}

void flushChanges(Registry& reg, const KeyPath& key) {
    const long rc = reg.flushKey(key.root);
    if (rc != vrk::reg::kSuccess)
        throwFailure(reg,
                     "the change of " + fullPath(key) +
                         " was made, but it could not be made durable (a crash of the system "
                         "may lose it)",
                     rc);
}

}  // namespace vrk::regfile
