// The argument rules of the store backends: rights, paths and name lengths.
#include "registry/registry_rules.hpp"

#include "registry/iregistry.hpp"
#include "registry/utf16_text.hpp"

namespace vrk::reg {

std::size_t nameLength(std::string_view name) {
    std::size_t units = 0;
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = utf8SequenceAt(name, i, cp);
        if (n == 0) return name.size();
        units += cp >= 0x10000 ? 2 : 1;
        i += n;
    }
    return units;
}

std::uint32_t grantedRights(std::uint32_t access) {
    std::uint32_t rights = access & 0x00FFFFFF;
    if (access & 0x80000000u) rights |= kKeyRead;    // GENERIC_READ
    if (access & 0x40000000u) rights |= kKeyWrite;   // GENERIC_WRITE
    if (access & 0x20000000u) rights |= kKeyRead;    // GENERIC_EXECUTE
    if (access & 0x10000000u) rights |= kAllRights;  // GENERIC_ALL
    if (access & 0x02000000u) rights |= kAllRights;  // MAXIMUM_ALLOWED
    return rights & ~kKeyWow64_32Key;
}

long splitPath(const char* path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path == nullptr) return kSuccess;
    std::string_view p(path);
    if (!p.empty() && p.front() == '\\') return kBadPathname;
    while (!p.empty() && p.back() == '\\') p.remove_suffix(1);
    while (!p.empty()) {
        std::size_t cut = p.find('\\');
        std::string_view name = p.substr(0, cut);
        if (name.empty() || nameLength(name) > kMaxKeyNameLength) return kInvalidParameter;
        parts.push_back(name);
        if (cut == std::string_view::npos) break;
        p.remove_prefix(cut + 1);
    }
    return kSuccess;
}

long splitOpenPath(Key parent, const char* path, std::vector<std::string_view>& parts) {
    if (parent == kClassesRoot && path != nullptr && path[0] == '\\') ++path;
    return splitPath(path, parts);
}

long checkValueName(const char* name, std::string_view& out) {
    out = name ? std::string_view(name) : std::string_view();
    return nameLength(out) > kMaxValueNameLength ? kInvalidParameter : kSuccess;
}

long startKeyCall(Key parent, Key* result, long nullResult) {
    if (result == nullptr) return nullResult;
    if (parent == kNullKey) return kInvalidHandle;
    *result = kNullKey;
    return kSuccess;
}

long checkQueryArguments(std::uint32_t granted, const unsigned char* data,
                         const std::uint32_t* size, const char* valueName, std::string_view& name) {
    if (data != nullptr && size == nullptr) return kInvalidParameter;
    if ((granted & kQueryValue) == 0) return kAccessDenied;
    return checkValueName(valueName, name);
}

long checkSetArguments(std::uint32_t granted, const unsigned char* data, std::uint32_t size,
                       const char* valueName, std::string_view& name) {
    if (data == nullptr && size != 0) return kNoAccess;
    if ((granted & kSetValue) == 0) return kAccessDenied;
    return checkValueName(valueName, name);
}

}  // namespace vrk::reg
