// The message module on Windows: a resource-only DLL holding a message
// table, loaded as a data file and read with FormatMessageA. Message n of
// set s is the table's entry (s << 16) | n (the set is the facility code).
// The default module sits beside the running program.
#include "platform/message_module.hpp"

#include <cstdio>
#include <cstring>

#include <windows.h>

namespace vrk::platform {

namespace {

constexpr unsigned long kMaxMessageNumber = 0xFFFF;
constexpr unsigned kMaxSet = 0x0FFF;  // the facility field has 12 bits

// Formats message id of module in language; the text is allocated by the
// system (LocalFree it). Returns 0 when there is no such message.
DWORD formatFromModule(HMODULE module, DWORD id, DWORD language, char** text) {
    *text = nullptr;
    return FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                              FORMAT_MESSAGE_ALLOCATE_BUFFER,
                          module, id, language, reinterpret_cast<char*>(text), 0, nullptr);
}

}  // namespace

bool defaultMessageModulePath(const char* moduleBaseName, char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    char exe[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe) return false;
    exe[n] = '\0';
    char* slash = std::strrchr(exe, '\\');
    char* other = std::strrchr(exe, '/');
    if (other != nullptr && (slash == nullptr || other > slash)) slash = other;
    if (slash == nullptr) return false;
    *slash = '\0';
    const int written = std::snprintf(buffer, size, "%s\\%s.dll", exe, moduleBaseName);
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
    if (messageId > kMaxMessageNumber || setId > kMaxSet) return false;
    const DWORD id = (static_cast<DWORD>(setId) << 16) | static_cast<DWORD>(messageId);

    const DWORD savedError = GetLastError();
    // A module the process has loaded already is used as it is; any other
    // is mapped as a data file, so that no code of it runs.
    HMODULE module = GetModuleHandleA(moduleName);
    const bool loadedHere = module == nullptr;
    if (loadedHere) module = LoadLibraryExA(moduleName, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        SetLastError(savedError);
        return false;
    }

    char* text = nullptr;
    DWORD length = formatFromModule(module, id, GetSystemDefaultLangID(), &text);
    if (length == 0 && GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND) {
        // The module has no texts in the system's language: take its own.
        length = formatFromModule(module, id, 0, &text);
    }
    const bool found = length != 0 && text != nullptr;
    if (found) {
        std::size_t n = length;
        if (n >= 2 && text[n - 2] == '\r' && text[n - 1] == '\n') n -= 2;
        if (n > size - 1) n = size - 1;
        std::memcpy(buffer, text, n);
        buffer[n] = '\0';
    }
    if (text != nullptr) LocalFree(text);
    if (loadedHere) FreeLibrary(module);
    SetLastError(savedError);
    return found;
}

}  // namespace vrk::platform
