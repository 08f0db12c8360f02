// The debug-monitor channel on Windows: the mailslot addresses for the
// shared cases.
#include <string>
#include <vector>

#include <windows.h>

#include "platform/debug_channel_test_support.hpp"

namespace vrk::platform::testing {

const char* expectedDefaultDebugChannelAddress() { return "\\\\.\\mailslot\\PRINTF32"; }

std::string debugChannelTestAddress(const char* tag) {
    return "\\\\.\\mailslot\\vrk-channel-test-" + std::to_string(GetCurrentProcessId()) + "-" + tag;
}

std::vector<std::string> malformedDebugChannelAddresses() {
    return {"", "\\\\.\\mailslot\\", "@TORQA/PRINTF32", "C:\\temp\\monitor",
            "\\\\.\\mailslot\\" + std::string(300, 'n')};
}

// Wine lets the write succeed and keeps the orphaned mailslot, and its name,
// while a writer holds it.
bool writeToAGoneMonitorFails() { return false; }

}  // namespace vrk::platform::testing
