// Windows side of command_line.hpp: the argument read back from the ANSI
// code page is compared with the wide command line's, as the system splits
// it (CommandLineToArgvW).
#include "platform/command_line.hpp"

#include <string>

#include <windows.h>
#include <shellapi.h>

namespace vrk::platform {

namespace {

// text read in the ANSI code page; empty when it cannot be read.
std::wstring fromAnsi(const char* text) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return L"";
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<std::size_t>(n - 1));
    return wide;
}

}  // namespace

bool commandLineArgumentIsExact(int index, const char* text) {
    if (text == nullptr || index < 0) return false;
    const DWORD savedError = GetLastError();
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool exact = false;
    if (arguments != nullptr) {
        exact = index < count && fromAnsi(text) == arguments[index];
        LocalFree(arguments);
    }
    SetLastError(savedError);
    return exact;
}

}  // namespace vrk::platform
