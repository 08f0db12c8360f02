// System error texts on Linux. The platform calls of this build report
// Windows error numbers (the registry layer in particular), so the texts are
// kept in a small table for the numbers they return.
#include "platform/error_text.hpp"

#include <cstring>

#include "platform/registry/iregistry.hpp"

namespace vrk::platform {

namespace {

struct ErrorText {
    unsigned long id;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {vrk::reg::kSuccess, "The operation succeeded."},
    {vrk::reg::kFileNotFound, "The key or value does not exist."},
    {vrk::reg::kAccessDenied, "Access to the key or value was refused."},
    {vrk::reg::kInvalidHandle, "The key handle is not valid."},
    {vrk::reg::kNotEnoughMemory, "There is not enough memory to complete the request."},
    {vrk::reg::kInvalidParameter, "A parameter of the request is not valid."},
    {vrk::reg::kBadPathname, "The key path is not valid."},
    {vrk::reg::kMoreData, "The data does not fit in the buffer given."},
    {vrk::reg::kNoMoreItems, "There are no more entries to enumerate."},
    {vrk::reg::kBadDb, "The registry store is damaged or is not a registry store."},
    {vrk::reg::kRegistryIoFailed, "The registry store could not be read or written."},
    {vrk::reg::kKeyDeleted, "The key has been deleted."},
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
