// The debug-monitor channel: writer and monitor ends over this platform's
// real channel (a socket on Linux, a mailslot on Windows).
#include <string>

#include "platform/debug_channel.hpp"
#include "platform/debug_channel_test_support.hpp"
#include "platform/process.hpp"

namespace {

using vrk::platform::DebugMonitorChannel;
using vrk::platform::testing::DebugChannel;
using vrk::platform::testing::debugChannelTestAddress;

TEST_F(DebugChannel, DefaultAddressIsThePrintfChannel) {
    const std::string expected = vrk::platform::testing::expectedDefaultDebugChannelAddress();
    EXPECT_EQ(vrk::platform::defaultDebugChannelAddress(), expected);
    EXPECT_EQ(vrk::platform::debugChannelAddress(), expected);
    const std::string elsewhere = debugChannelTestAddress("elsewhere");
    vrk::platform::setDebugChannelAddress(elsewhere);
    EXPECT_EQ(vrk::platform::debugChannelAddress(), elsewhere);
    vrk::platform::setDebugChannelAddress("");
    EXPECT_EQ(vrk::platform::debugChannelAddress(), expected);
}

TEST_F(DebugChannel, MessagesArriveWholeAndInOrder) {
    const std::string address = debugChannelTestAddress("order");
    DebugMonitorChannel monitor;
    std::string error;
    ASSERT_TRUE(monitor.bind(address, error)) << error;
    vrk::platform::setDebugChannelAddress(address);
    ASSERT_TRUE(vrk::platform::openDebugChannel());
    const std::string messages[] = {std::string("TORQA: a\0", 9), std::string(1, '\0'),
                                    std::string(1032, 'x')};
    vrk::platform::setLastError(1234);
    for (const std::string& m : messages)
        ASSERT_TRUE(vrk::platform::sendDebugMessage(m.data(), m.size()));
    EXPECT_EQ(vrk::platform::lastError(), 1234u) << "the caller's last error is kept";
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
    vrk::platform::setDebugChannelAddress(debugChannelTestAddress("nobody"));
    vrk::platform::setLastError(1234);
    EXPECT_FALSE(vrk::platform::openDebugChannel());
    EXPECT_EQ(vrk::platform::lastError(), 1234u);
    EXPECT_FALSE(vrk::platform::isDebugChannelOpen());
    EXPECT_FALSE(vrk::platform::sendDebugMessage("x", 1));
}

TEST_F(DebugChannel, ANewMonitorIsReachedAfterTheFirstHasGone) {
    const std::string address = debugChannelTestAddress("gone");
    vrk::platform::setDebugChannelAddress(address);
    std::string error, received;
    {
        DebugMonitorChannel first;
        ASSERT_TRUE(first.bind(address, error)) << error;
        ASSERT_TRUE(vrk::platform::openDebugChannel());
    }
    // A failed write closes the channel; where the write may be taken, the
    // writer closes it.
    const bool sent = vrk::platform::sendDebugMessage("lost", 4);
    if (vrk::platform::testing::writeToAGoneMonitorFails())
        EXPECT_FALSE(sent);
    else if (sent)
        vrk::platform::closeDebugChannel();
    EXPECT_FALSE(vrk::platform::isDebugChannelOpen());
    DebugMonitorChannel second;
    ASSERT_TRUE(second.bind(address, error)) << error;
    ASSERT_TRUE(vrk::platform::openDebugChannel());
    ASSERT_TRUE(vrk::platform::sendDebugMessage("found", 5));
    ASSERT_EQ(second.receive(received, 10000), DebugMonitorChannel::Receive::message);
    EXPECT_EQ(received, "found");
}

TEST_F(DebugChannel, SecondMonitorOnTheSameAddressIsRefused) {
    const std::string address = debugChannelTestAddress("twice");
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
    for (const std::string& address : vrk::platform::testing::malformedDebugChannelAddresses()) {
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
