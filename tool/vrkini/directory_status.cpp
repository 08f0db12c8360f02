// Directory test for the directory validation.
#include "tool/vrkini/directory_status.hpp"

#include <cstring>

#include "platform/file_status.hpp"

bool isExistingDirectory(const IString& path) {
    const char* text = path;
    if (text == nullptr || *text == '\0') return false;
    if (std::strpbrk(text, "*?") != nullptr) return false;
    return vrk::platform::isExistingDirectory(text);
}
