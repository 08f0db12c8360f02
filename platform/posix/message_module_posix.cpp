// The message module on Linux: an X/Open message catalog, read with
// catopen/catgets. The default catalog sits in share/vrk beside the bin
// directory of the running program, in the build tree and when installed.
#include "platform/message_module.hpp"

#include <nl_types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vrk::platform {

namespace {

// Copies text into buffer, cut to fit; answers false when nothing fits.
bool copyText(const char* text, char* buffer, std::size_t size) {
    std::size_t n = std::strlen(text);
    if (n > size - 1) n = size - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return true;
}

}  // namespace

bool defaultMessageModulePath(const char* moduleBaseName, char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof exe - 1) return false;
    exe[n] = '\0';
    char* slash = std::strrchr(exe, '/');
    if (slash == nullptr) return false;
    *slash = '\0';
    int written = std::snprintf(buffer, size, "%s/../share/vrk/%s.cat", exe, moduleBaseName);
    if (written < 0 || static_cast<std::size_t>(written) >= size) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool loadModuleMessage(const char* moduleName, unsigned setId, unsigned long messageId,
                       char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    if (moduleName == nullptr || *moduleName == '\0') return false;
    if (messageId > 0x7fffffffUL || setId > 0x7fffffffU) return false;

    // A name without a slash would be searched along NLSPATH; the module
    // name always means a file, so make it a path.
    char path[4096];
    const char* name = moduleName;
    if (std::strchr(moduleName, '/') == nullptr) {
        int written = std::snprintf(path, sizeof path, "./%s", moduleName);
        if (written < 0 || static_cast<std::size_t>(written) >= sizeof path) return false;
        name = path;
    }

    int savedErrno = errno;
    nl_catd catalog = ::catopen(name, 0);
    if (catalog == reinterpret_cast<nl_catd>(-1)) {
        errno = savedErrno;
        return false;
    }
    // catgets answers the default text given when the message is missing;
    // a private sentinel tells the two apart.
    static const char kMissing[] = "";
    const char* text =
        ::catgets(catalog, static_cast<int>(setId), static_cast<int>(messageId), kMissing);
    bool found = text != nullptr && text != kMissing;
    if (found) copyText(text, buffer, size);
    ::catclose(catalog);
    errno = savedErrno;
    return found;
}

bool loadDefaultModuleMessage(const char* moduleBaseName, unsigned setId, unsigned long messageId,
                              char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    if (moduleBaseName == nullptr || *moduleBaseName == '\0') return false;
    char path[4096];
    const int savedErrno = errno;
    const bool known = defaultMessageModulePath(moduleBaseName, path, sizeof path);
    errno = savedErrno;
    return known && loadModuleMessage(path, setId, messageId, buffer, size);
}

}  // namespace vrk::platform
