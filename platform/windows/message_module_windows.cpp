// The message module on Windows: a resource-only DLL holding a message
// table, loaded as a data file and read with FormatMessageA. Message n of
// set s is the table's entry (s << 16) | n (the set is the facility code).
// The default module sits beside the running program; its path is wide
// text from end to end, as the program's folder may be named with
// characters that the ANSI code page lacks.
#include "platform/message_module.hpp"

#include <cstring>
#include <string>

#include <windows.h>

namespace vrk::platform {

namespace {

constexpr unsigned long kMaxMessageNumber = 0xFFFF;
constexpr unsigned kMaxSet = 0x0FFF;  // the facility field has 12 bits
constexpr DWORD kLongestPath = 32768;

// Formats message id of module in language; the text is allocated by the
// system (LocalFree it). Returns 0 when there is no such message.
DWORD formatFromModule(HMODULE module, DWORD id, DWORD language, char** text) {
    *text = nullptr;
    return FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                              FORMAT_MESSAGE_ALLOCATE_BUFFER,
                          module, id, language, reinterpret_cast<char*>(text), 0, nullptr);
}

// Copies message id of module into buffer (size at least 1), cut to fit,
// without a trailing CR LF; the system's default language first, then the
// module's own.
bool copyMessage(HMODULE module, DWORD id, char* buffer, std::size_t size) {
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
    return found;
}

// The table entry of message messageId of set setId; false when either is
// out of the table's range.
bool tableEntry(unsigned setId, unsigned long messageId, DWORD* id) {
    if (messageId > kMaxMessageNumber || setId > kMaxSet) return false;
    *id = (static_cast<DWORD>(setId) << 16) | static_cast<DWORD>(messageId);
    return true;
}

// Reads message id from the module named name (char or wide text): a
// module the process has loaded already is used as it is; any other is
// mapped as a data file, so that no code of it runs. The caller's last
// error is kept.
template <typename Char, typename Find, typename Load>
bool loadFrom(const Char* name, DWORD id, char* buffer, std::size_t size, Find find, Load load) {
    const DWORD savedError = GetLastError();
    HMODULE module = find(name);
    const bool loadedHere = module == nullptr;
    if (loadedHere) module = load(name, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    bool found = false;
    if (module != nullptr) {
        found = copyMessage(module, id, buffer, size);
        if (loadedHere) FreeLibrary(module);
    }
    SetLastError(savedError);
    return found;
}

// The default module's file: the running program's folder, as the system
// keeps its path, a backslash, the base name and ".dll". Empty when the
// program's path is unknown.
std::wstring defaultModuleFile(const char* moduleBaseName) {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) return L"";
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        if (exe.size() >= kLongestPath) return L"";
        exe.resize(exe.size() * 2);
    }
    const std::size_t slash = exe.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L"";
    const int baseLength = MultiByteToWideChar(CP_ACP, 0, moduleBaseName, -1, nullptr, 0);
    if (baseLength <= 0) return L"";
    std::wstring base(static_cast<std::size_t>(baseLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, moduleBaseName, -1, base.data(), baseLength);
    base.resize(static_cast<std::size_t>(baseLength - 1));
    return exe.substr(0, slash) + L"\\" + base + L".dll";
}

}  // namespace

bool defaultMessageModulePath(const char* moduleBaseName, char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    const std::wstring file = defaultModuleFile(moduleBaseName);
    if (file.empty()) return false;
    const int n = WideCharToMultiByte(CP_ACP, 0, file.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0 || static_cast<std::size_t>(n) > size) return false;
    WideCharToMultiByte(CP_ACP, 0, file.c_str(), -1, buffer, n, nullptr, nullptr);
    return true;
}

bool loadModuleMessage(const char* moduleName, unsigned setId, unsigned long messageId,
                       char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    DWORD id = 0;
    if (moduleName == nullptr || *moduleName == '\0' || !tableEntry(setId, messageId, &id))
        return false;
    return loadFrom(moduleName, id, buffer, size, GetModuleHandleA, LoadLibraryExA);
}

bool loadDefaultModuleMessage(const char* moduleBaseName, unsigned setId, unsigned long messageId,
                              char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    DWORD id = 0;
    if (moduleBaseName == nullptr || *moduleBaseName == '\0' || !tableEntry(setId, messageId, &id))
        return false;
    const DWORD savedError = GetLastError();
    const std::wstring file = defaultModuleFile(moduleBaseName);
    SetLastError(savedError);
    if (file.empty()) return false;
    return loadFrom(file.c_str(), id, buffer, size, GetModuleHandleW, LoadLibraryExW);
}

}  // namespace vrk::platform
