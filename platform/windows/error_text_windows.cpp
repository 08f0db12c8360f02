// System error texts on Windows: the system message table, in the system
// default language.
#include "platform/error_text.hpp"

#include <cstring>

#include <windows.h>

namespace vrk::platform {

namespace {
constexpr std::size_t kMaxMessage = 255;
}

bool systemErrorMessage(unsigned long errorId, char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    const DWORD savedError = GetLastError();
    // The system allocates the text, so that a long one is cut here rather
    // than refused.
    const DWORD flags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    char* text = nullptr;
    DWORD got =
        FormatMessageA(flags, nullptr, static_cast<DWORD>(errorId), GetSystemDefaultLangID(),
                       reinterpret_cast<char*>(&text), 0, nullptr);
    if (got == 0 && GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND) {
        // No system texts in the default language: the system's own choice.
        got = FormatMessageA(flags, nullptr, static_cast<DWORD>(errorId), 0,
                             reinterpret_cast<char*>(&text), 0, nullptr);
    }
    SetLastError(savedError);
    if (got == 0 || text == nullptr) return false;
    std::size_t length = got < kMaxMessage ? got : kMaxMessage;
    if (length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n') length -= 2;
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    LocalFree(text);
    return true;
}

}  // namespace vrk::platform
