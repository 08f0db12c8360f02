#include "tool/vrkreg/reg_access.hpp"

namespace vrk::regfile {

using vrk::reg::Key;
using vrk::reg::Registry;

namespace {

// Large enough for any key name (255 characters of up to four bytes) and
// any value name the store keeps.
constexpr std::uint32_t kKeyNameBuffer = 1024;
constexpr std::uint32_t kValueNameBuffer = 65536;

// The parent of a key below a root and the key's last name.
KeyPath parentOf(const KeyPath& path, std::string& lastName) {
    const std::size_t cut = path.subKey.rfind('\\');
    KeyPath parent{path.root, cut == std::string::npos ? std::string() : path.subKey.substr(0, cut)};
    lastName = cut == std::string::npos ? path.subKey : path.subKey.substr(cut + 1);
    return parent;
}

void deleteBelow(Registry& reg, Key parent, const std::string& name, const std::string& pathText) {
    Key raw = vrk::reg::kNullKey;
    long rc = reg.openKeyEx(parent, name.c_str(), vrk::reg::kKeyReadWrite, &raw);
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + pathText, rc);
    {
        OpenKey key(reg, raw);
        for (const std::string& child : readSubkeyNames(reg, key.get(), pathText))
            deleteBelow(reg, key.get(), child, pathText + "\\" + child);
    }
    rc = reg.deleteKey(parent, name.c_str());
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot delete " + pathText, rc);
}

}  // namespace

std::string errorMeaning(long error) {
    switch (error) {
        case vrk::reg::kSuccess: return "The operation completed successfully.";
        case vrk::reg::kFileNotFound: return "The system cannot find the file specified.";
        case vrk::reg::kAccessDenied: return "Access is denied.";
        case vrk::reg::kInvalidHandle: return "The handle is invalid.";
        case vrk::reg::kNotEnoughMemory: return "Not enough memory resources are available to process this command.";
        case vrk::reg::kInvalidParameter: return "The parameter is incorrect.";
        case vrk::reg::kBadPathname: return "The specified path is invalid.";
        case vrk::reg::kMoreData: return "More data is available.";
        case vrk::reg::kNoMoreItems: return "No more data is available.";
        case vrk::reg::kBadDb: return "The configuration registry database is corrupt.";
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

OpenKey& OpenKey::operator=(OpenKey&& other) noexcept {
    if (this != &other) {
        close();
        reg_ = other.reg_;
        key_ = other.key_;
        other.key_ = vrk::reg::kNullKey;
    }
    return *this;
}

void OpenKey::close() {
    if (key_ != vrk::reg::kNullKey && !vrk::reg::isRootKey(key_)) reg_->closeKey(key_);
    key_ = vrk::reg::kNullKey;
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
            unsigned char* dataPtr = dataSize ? reinterpret_cast<unsigned char*>(data.data()) : &buffer;
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
        if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot list the subkeys of " + pathText, rc);
        names.emplace_back(name);
    }
}

namespace {

void readInto(Registry& reg, Key key, const KeyPath& path, std::vector<KeyBlock>& blocks) {
    const std::string pathText = fullPath(path);
    blocks.push_back({path, readValues(reg, key, pathText)});
    for (const std::string& child : readSubkeyNames(reg, key, pathText)) {
        Key raw = vrk::reg::kNullKey;
        const long rc = reg.openKeyEx(key, child.c_str(), vrk::reg::kKeyRead, &raw);
        if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + pathText + "\\" + child, rc);
        OpenKey sub(reg, raw);
        KeyPath childPath{path.root, path.subKey.empty() ? child : path.subKey + "\\" + child};
        readInto(reg, sub.get(), childPath, blocks);
    }
}

}  // namespace

std::vector<KeyBlock> readTree(Registry& reg, const KeyPath& top) {
    std::vector<KeyBlock> blocks;
    OpenKey key = openExisting(reg, top, vrk::reg::kKeyRead);
    readInto(reg, key.get(), top, blocks);
    return blocks;
}

bool deleteTree(Registry& reg, const KeyPath& path) {
    if (path.subKey.empty()) throw CommandFailure("cannot delete the root key " + fullPath(path));
    std::string lastName;
    const KeyPath parentPath = parentOf(path, lastName);
    Key parentRaw = parentPath.root;
    if (!parentPath.subKey.empty()) {
        const long rc = reg.openKeyEx(parentPath.root, parentPath.subKey.c_str(), vrk::reg::kKeyReadWrite,
                                      &parentRaw);
        if (rc == vrk::reg::kFileNotFound) return false;
        if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + fullPath(parentPath), rc);
    }
    OpenKey parent(reg, parentRaw);
    Key probe = vrk::reg::kNullKey;
    const long rc = reg.openKeyEx(parent.get(), lastName.c_str(), vrk::reg::kKeyRead, &probe);
    if (rc == vrk::reg::kFileNotFound) return false;
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot open " + fullPath(path), rc);
    reg.closeKey(probe);
    deleteBelow(reg, parent.get(), lastName, fullPath(path));
    return true;
}

}  // namespace vrk::regfile
