// Test support for the debug-monitor channel: the fixture of its tests, and
// what the cases that run on every platform need to know of this one's
// addresses. posix/ and windows/ define these beside their own cases.
//
// Thread safety: test code, one thread.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/debug_channel.hpp"

namespace vrk::platform::testing {

// The default address, as this platform writes it.
const char* expectedDefaultDebugChannelAddress();

// An address of this test process's own, told apart by tag.
std::string debugChannelTestAddress(const char* tag);

// Addresses a monitor cannot take and a writer cannot open: the empty
// address, a bare prefix, names too long, forms this platform does not take.
std::vector<std::string> malformedDebugChannelAddresses();

// Whether a write to a monitor that has gone away fails for sure (and so
// closes the channel), or may be taken.
bool writeToAGoneMonitorFails();

// Every test starts at the default address and leaves it there.
class DebugChannel : public ::testing::Test {
protected:
    void TearDown() override { setDebugChannelAddress(""); }
};

}  // namespace vrk::platform::testing
