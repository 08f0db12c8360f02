// Directory test for the directory validation.
#include "tool/vrkini/directory_status.hpp"

#include <cstring>
#include <filesystem>
#include <system_error>

bool isExistingDirectory(const IString& path) {
    const char* text = path;
    if (text == nullptr || *text == '\0') return false;
    if (std::strpbrk(text, "*?") != nullptr) return false;
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(text), ec);
}
