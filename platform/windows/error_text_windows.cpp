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
    char text[kMaxMessage + 1];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(errorId), GetSystemDefaultLangID(), text,
                                   static_cast<DWORD>(sizeof text), nullptr);
    // Retry without a language: a system without texts in its default
    // language still has the neutral or English ones.
    const DWORD got = n != 0 ? n
                             : FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                              static_cast<DWORD>(errorId), 0, text,
                                              static_cast<DWORD>(sizeof text), nullptr);
    if (got == 0) return false;
    std::size_t length = got < sizeof text ? got : sizeof text - 1;
    text[length] = '\0';
    if (length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n') length -= 2;
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return true;
}

}  // namespace vrk::platform
