// Library messages: the module name, loading by number and the insert
// substitution.
#include "diag/imessage.hpp"

#include <cstdlib>
#include <cstring>

#include "diag/iexc.hpp"
#include "platform/message_module.hpp"

namespace vrk::diag {

const char* const kMessageUnavailable = "Unable to load text from message file.";

namespace {

constexpr const char kModuleBaseName[] = "vrkmsg";
constexpr const char kModuleVariable[] = "TORQA MSGFILE";

struct ModuleName {
    char path[4096];
    bool isDefault = false;  // the default module, read by its base name
    ModuleName() {
        path[0] = '\0';
        const char* named = std::getenv(kModuleVariable);
        if (named != nullptr && *named != '\0') {
            std::size_t n = std::strlen(named);
            if (n < sizeof path) std::memcpy(path, named, n + 1);
            return;
        }
        isDefault = true;
        vrk::platform::defaultMessageModulePath(kModuleBaseName, path, sizeof path);
    }
};

const ModuleName& moduleName() {
    static const ModuleName name;
    return name;
}

// Appends text to buffer at *used, cut at the buffer's end.
void append(char* buffer, std::size_t size, std::size_t* used, const char* text, std::size_t n) {
    std::size_t room = size - 1 - *used;
    if (n > room) n = room;
    std::memcpy(buffer + *used, text, n);
    *used += n;
}

}  // namespace

const char* messageModuleName() { return moduleName().path; }

bool loadMessage(unsigned set, unsigned long messageId, const char* const inserts[9], char* buffer,
                 std::size_t size) {
    if (size == 0) return false;
    buffer[0] = '\0';
    NewHandlerSuspension suspended;

    char raw[ILibraryMessage::bufferSize];
    const ModuleName& module = moduleName();
    const bool loaded = module.isDefault ? vrk::platform::loadDefaultModuleMessage(
                                               kModuleBaseName, set, messageId, raw, sizeof raw)
                                         : vrk::platform::loadModuleMessage(
                                               module.path, set, messageId, raw, sizeof raw);
    if (!loaded) return false;

    unsigned insertCount = 0;
    while (inserts != nullptr && insertCount < 9 && inserts[insertCount] != nullptr) ++insertCount;

    std::size_t used = 0;
    for (const char* p = raw; *p != '\0' && used < size - 1;) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9' &&
            static_cast<unsigned>(p[1] - '1') < insertCount) {
            const char* insert = inserts[p[1] - '1'];
            append(buffer, size, &used, insert, std::strlen(insert));
            p += 2;
        } else if (p[0] == '%' && p[1] == '%') {
            append(buffer, size, &used, "%", 1);
            p += 2;
        } else {
            append(buffer, size, &used, p, 1);
            ++p;
        }
    }
    buffer[used] = '\0';
    if (used >= 2 && buffer[used - 2] == '\r' && buffer[used - 1] == '\n') {
        buffer[used - 2] = '\0';
    } else if (used >= 1 && buffer[used - 1] == '\n') {
        buffer[used - 1] = '\0';
    }
    return true;
}

}  // namespace vrk::diag

ILibraryMessage::ILibraryMessage(unsigned long messageId, const char* insert1, const char* insert2,
                                 const char* insert3, const char* insert4, const char* insert5,
                                 const char* insert6, const char* insert7, const char* insert8,
                                 const char* insert9) {
    const char* const inserts[9] = {insert1, insert2, insert3, insert4, insert5,
                                    insert6, insert7, insert8, insert9};
    if (!vrk::diag::loadMessage(vrk::diag::kLibraryMessages, messageId, inserts, text_,
                                sizeof text_)) {
        std::strcpy(text_, vrk::diag::kMessageUnavailable);
    }
}

const char* ILibraryMessage::text() const { return text_; }

ILibraryMessage::operator const char*() const { return text_; }
