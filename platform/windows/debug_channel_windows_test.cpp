// The debug-monitor channel on Windows: writer and monitor ends over real
// mailslots.
#include "platform/debug_channel.hpp"

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

namespace {

using vrk::platform::DebugMonitorChannel;

std::string testAddress(const char* tag) {
    return "\\\\.\\mailslot\\vrk-channel-test-" + std::to_string(GetCurrentProcessId()) + "-" + tag;
}

class DebugChannel : public ::testing::Test {
protected:
    void TearDown() override { vrk::platform::setDebugChannelAddress(""); }
};

TEST_F(DebugChannel, DefaultAddressIsThePrintfMailslot) {
    EXPECT_STREQ(vrk::platform::defaultDebugChannelAddress(), "\\\\.\\mailslot\\PRINTF32");
    EXPECT_EQ(vrk::platform::debugChannelAddress(), "\\\\.\\mailslot\\PRINTF32");
    vrk::platform::setDebugChannelAddress("\\\\.\\mailslot\\elsewhere");
    EXPECT_EQ(vrk::platform::debugChannelAddress(), "\\\\.\\mailslot\\elsewhere");
    vrk::platform::setDebugChannelAddress("");
    EXPECT_EQ(vrk::platform::debugChannelAddress(), "\\\\.\\mailslot\\PRINTF32");
}

TEST_F(DebugChannel, MessagesArriveWholeAndInOrder) {
    const std::string address = testAddress("order");
    DebugMonitorChannel monitor;
    std::string error;
    ASSERT_TRUE(monitor.bind(address, error)) << error;
    vrk::platform::setDebugChannelAddress(address);
    ASSERT_TRUE(vrk::platform::openDebugChannel());
    const std::string messages[] = {std::string("TORQA: a\0", 9), std::string(1, '\0'),
                                    std::string(1032, 'x')};
    SetLastError(1234);
    for (const std::string& m : messages)
        ASSERT_TRUE(vrk::platform::sendDebugMessage(m.data(), m.size()));
    EXPECT_EQ(GetLastError(), 1234u) << "the caller's last error is kept";
    for (const std::string& m : messages) {
        std::string received;
        ASSERT_EQ(monitor.receive(received, 10000), DebugMonitorChannel::Receive::message);
        EXPECT_EQ(received, m);
    }
    std::string none;
    EXPECT_EQ(monitor.receive(none, 0), DebugMonitorChannel::Receive::timeout);
    EXPECT_EQ(monitor.receive(none, 50), DebugMonitorChannel::Receive::timeout);
}

TEST_F(DebugChannel, OpenFailsWithoutAMonitorAndSendFailsWhenClosed) {
    vrk::platform::setDebugChannelAddress(testAddress("nobody"));
    SetLastError(1234);
    EXPECT_FALSE(vrk::platform::openDebugChannel());
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_FALSE(vrk::platform::isDebugChannelOpen());
    EXPECT_FALSE(vrk::platform::sendDebugMessage("x", 1));
}

TEST_F(DebugChannel, ANewMonitorIsReachedAfterTheFirstHasGone) {
    const std::string address = testAddress("gone");
    vrk::platform::setDebugChannelAddress(address);
    std::string error, received;
    {
        DebugMonitorChannel first;
        ASSERT_TRUE(first.bind(address, error)) << error;
        ASSERT_TRUE(vrk::platform::openDebugChannel());
    }
    // A failed write closes the channel. Wine lets the write succeed and
    // keeps the orphaned mailslot, and its name, while a writer holds it.
    if (vrk::platform::sendDebugMessage("lost", 4)) vrk::platform::closeDebugChannel();
    EXPECT_FALSE(vrk::platform::isDebugChannelOpen());
    DebugMonitorChannel second;
    ASSERT_TRUE(second.bind(address, error)) << error;
    ASSERT_TRUE(vrk::platform::openDebugChannel());
    ASSERT_TRUE(vrk::platform::sendDebugMessage("found", 5));
    ASSERT_EQ(second.receive(received, 10000), DebugMonitorChannel::Receive::message);
    EXPECT_EQ(received, "found");
}

TEST_F(DebugChannel, SecondMonitorOnTheSameAddressIsRefused) {
    const std::string address = testAddress("twice");
    DebugMonitorChannel first, second;
    std::string error;
    ASSERT_TRUE(first.bind(address, error)) << error;
    EXPECT_FALSE(second.bind(address, error));
    EXPECT_NE(error.find("another debug monitor already holds the channel " + address),
              std::string::npos)
        << error;
    first.close();
    EXPECT_TRUE(second.bind(address, error)) << error;  // free again once closed
}

TEST_F(DebugChannel, MalformedAddressesAreRefused) {
    const std::string cases[] = {"", "\\\\.\\mailslot\\", "@TORQA/PRINTF32", "C:\\temp\\monitor",
                                 "\\\\.\\mailslot\\" + std::string(300, 'n')};
    for (const std::string& address : cases) {
        DebugMonitorChannel monitor;
        std::string error;
        EXPECT_FALSE(monitor.bind(address, error)) << address;
        EXPECT_NE(error.find("invalid channel address"), std::string::npos) << error;
        vrk::platform::setDebugChannelAddress(address.empty() ? "@" : address);
        EXPECT_FALSE(vrk::platform::openDebugChannel()) << address;
    }
}

TEST_F(DebugChannel, ReceiveWithoutBindFails) {
    DebugMonitorChannel monitor;
    std::string received;
    EXPECT_EQ(monitor.receive(received, 0), DebugMonitorChannel::Receive::failed);
}

}  // namespace
