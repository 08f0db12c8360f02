// The debug-monitor channel: writer and monitor ends over real sockets.
#include "platform/debug_channel.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

using vrk::platform::DebugMonitorChannel;

std::string testAddress(const char* tag) {
    return "@vrk-channel-test-" + std::to_string(::getpid()) + "-" + tag;
}

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

class DebugChannel : public ::testing::Test {
protected:
    void TearDown() override { vrk::platform::setDebugChannelAddress(""); }
};

TEST_F(DebugChannel, DefaultAddressIsTheAbstractPrintfName) {
    EXPECT_STREQ(vrk::platform::defaultDebugChannelAddress(), "@TORQA/PRINTF32");
    EXPECT_EQ(vrk::platform::debugChannelAddress(), "@TORQA/PRINTF32");
    vrk::platform::setDebugChannelAddress("@elsewhere");
    EXPECT_EQ(vrk::platform::debugChannelAddress(), "@elsewhere");
    vrk::platform::setDebugChannelAddress("");
    EXPECT_EQ(vrk::platform::debugChannelAddress(), "@TORQA/PRINTF32");
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
    for (const std::string& m : messages)
        ASSERT_TRUE(vrk::platform::sendDebugMessage(m.data(), m.size()));
    for (const std::string& m : messages) {
        std::string received;
        ASSERT_EQ(monitor.receive(received, 10000), DebugMonitorChannel::Receive::message);
        EXPECT_EQ(received, m);
    }
    std::string none;
    EXPECT_EQ(monitor.receive(none, 0), DebugMonitorChannel::Receive::timeout);
}

TEST_F(DebugChannel, OpenFailsWithoutAMonitorAndSendFailsWhenClosed) {
    vrk::platform::setDebugChannelAddress(testAddress("nobody"));
    EXPECT_FALSE(vrk::platform::openDebugChannel());
    EXPECT_FALSE(vrk::platform::isDebugChannelOpen());
    EXPECT_FALSE(vrk::platform::sendDebugMessage("x", 1));
}

TEST_F(DebugChannel, MonitorGoneClosesTheChannelAndANewOneIsReached) {
    const std::string address = testAddress("gone");
    vrk::platform::setDebugChannelAddress(address);
    std::string error, received;
    {
        DebugMonitorChannel first;
        ASSERT_TRUE(first.bind(address, error)) << error;
        ASSERT_TRUE(vrk::platform::openDebugChannel());
    }
    EXPECT_FALSE(vrk::platform::sendDebugMessage("lost", 4));
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
}

TEST_F(DebugChannel, SocketFileAddress) {
    char pattern[] = "/tmp/vrk-channel-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string path = std::string(pattern) + "/monitor.sock";
    std::string error;
    {
        DebugMonitorChannel monitor, rival;
        ASSERT_TRUE(monitor.bind(path, error)) << error;
        EXPECT_TRUE(exists(path));
        EXPECT_FALSE(rival.bind(path, error));  // a live monitor keeps its file
        vrk::platform::setDebugChannelAddress(path);
        ASSERT_TRUE(vrk::platform::openDebugChannel());
        ASSERT_TRUE(vrk::platform::sendDebugMessage("file", 4));
        std::string received;
        ASSERT_EQ(monitor.receive(received, 10000), DebugMonitorChannel::Receive::message);
        EXPECT_EQ(received, "file");
    }
    EXPECT_FALSE(exists(path));  // removed on close

    // A stale socket file, left by a monitor that died, is taken over.
    {
        DebugMonitorChannel crashed;
        ASSERT_TRUE(crashed.bind(path, error)) << error;
        const std::string keep = path + ".keep";
        ASSERT_EQ(::link(path.c_str(), keep.c_str()), 0);
        crashed.close();
        ASSERT_EQ(::rename(keep.c_str(), path.c_str()), 0);
    }
    ASSERT_TRUE(exists(path));
    DebugMonitorChannel successor;
    EXPECT_TRUE(successor.bind(path, error)) << error;
    successor.close();
    ::rmdir(pattern);
}

TEST_F(DebugChannel, MalformedAddressesAreRefused) {
    const std::string cases[] = {"", "@", "@" + std::string(200, 'n'),
                                 "/tmp/" + std::string(200, 'n')};
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
