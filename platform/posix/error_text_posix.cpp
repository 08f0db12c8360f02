// System error texts on Linux. The platform calls of this build report
// Windows error numbers (the registry layer in particular), so the texts are
// kept in a small table for the numbers they return, in Windows' words.
#include "platform/error_text.hpp"

#include <cstring>

#include "registry/iregistry.hpp"

namespace vrk::platform {

namespace {

struct ErrorText {
    unsigned long id;
    const char* text;
};

// Worded exactly as Windows' system message table words them, so that a
// report reads the same on both platforms.
constexpr ErrorText kErrorTexts[] = {
    {vrk::reg::kSuccess, "The operation completed successfully."},
    {vrk::reg::kFileNotFound, "The system cannot find the file specified."},
    {vrk::reg::kAccessDenied, "Access is denied."},
    {vrk::reg::kInvalidHandle, "The handle is invalid."},
    {vrk::reg::kNotSupported, "The request is not supported."},
    {vrk::reg::kNotEnoughMemory,
     "Not enough memory resources are available to process this command."},
    {vrk::reg::kInvalidParameter, "The parameter is incorrect."},
    {vrk::reg::kBadPathname, "The specified path is invalid."},
    {vrk::reg::kMoreData, "More data is available."},
    {vrk::reg::kNoMoreItems, "No more data is available."},
    {vrk::reg::kNoAccess, "Invalid access to memory location."},
    {vrk::reg::kBadDb, "The configuration registry database is corrupt."},
    {vrk::reg::kBadKey, "The configuration registry key is invalid."},
    {vrk::reg::kRegistryIoFailed,
     "An I/O operation initiated by the registry failed unrecoverably. The registry could not read "
     "in, or write out, or flush, one of the files that contain the system's image of the "
     "registry."},
    {vrk::reg::kKeyDeleted,
     "Illegal operation attempted on a registry key that has been marked for deletion."},
};

constexpr std::size_t kMaxMessage = 255;

}  // namespace

bool systemErrorMessage(unsigned long errorId, char* buffer, std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.id != errorId) continue;
        std::size_t n = std::strlen(entry.text);
        if (n > kMaxMessage) n = kMaxMessage;
        if (n > size - 1) n = size - 1;
        std::memcpy(buffer, entry.text, n);
        buffer[n] = '\0';
        if (n >= 2 && buffer[n - 2] == '\r' && buffer[n - 1] == '\n') buffer[n - 2] = '\0';
        return true;
    }
    return false;
}

}  // namespace vrk::platform
