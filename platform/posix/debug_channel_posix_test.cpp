// The debug-monitor channel on Linux: its addresses for the shared cases,
// and the socket-file addresses that only Linux has.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/debug_channel.hpp"
#include "platform/debug_channel_test_support.hpp"

namespace vrk::platform::testing {

const char* expectedDefaultDebugChannelAddress() { return "@TORQA/PRINTF32"; }

std::string debugChannelTestAddress(const char* tag) {
    return "@vrk-channel-test-" + std::to_string(::getpid()) + "-" + tag;
}

std::vector<std::string> malformedDebugChannelAddresses() {
    return {"", "@", "@" + std::string(200, 'n'), "/tmp/" + std::string(200, 'n')};
}

bool writeToAGoneMonitorFails() { return true; }

}  // namespace vrk::platform::testing

namespace {

using vrk::platform::DebugMonitorChannel;
using vrk::platform::testing::DebugChannel;

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
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

}  // namespace
