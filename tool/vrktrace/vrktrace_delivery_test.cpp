// End to end on every platform: the built vrktrace, a program of its own,
// shows the trace lines that this test process sends over the real channel
// (a mailslot on Windows), byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"
#include "platform/child_process.hpp"
#include "platform/debug_channel.hpp"
#include "platform/process.hpp"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Standard error is a text stream on Windows: compare its lines without CR.
std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

class VrktraceDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vrktrace-" + std::to_string(vrk::platform::currentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        program_ = vrk::platform::programFile(vrk::platform::runningProgramDirectory() + "/../bin",
                                              "vrktrace");
    }
    void TearDown() override {
        monitor_.kill();
        second_.kill();
        vrk::platform::setDebugChannelAddress("");
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string address(const char* tag) const {
        return std::string(vrk::platform::defaultDebugChannelAddress()) + "-test-" +
               std::to_string(vrk::platform::currentProcessId()) + "-" + tag;
    }

    // Starts a monitor with the arguments; its output goes to files named
    // after tag.
    bool start(vrk::platform::ChildProcess& child, const std::string& tag,
               const std::vector<std::string>& arguments) {
        return child.start(program_, arguments, (dir_ / (tag + ".out")).string(),
                           (dir_ / (tag + ".err")).string());
    }
    std::string output(const std::string& tag) const { return readFile(dir_ / (tag + ".out")); }
    std::string errors(const std::string& tag) const {
        return withoutCarriageReturns(readFile(dir_ / (tag + ".err")));
    }

    // Waits up to 20 seconds until the file of tag holds at least expected's
    // length, and returns it.
    std::string awaitOutput(const std::string& tag, std::size_t length, bool error = false) const {
        std::string text;
        for (int i = 0; i < 400; ++i) {
            text = error ? errors(tag) : output(tag);
            if (text.size() >= length) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return text;
    }

    fs::path dir_;
    std::string program_;
    vrk::platform::ChildProcess monitor_;
    vrk::platform::ChildProcess second_;
};

TEST_F(VrktraceDelivery, ShowsTheTraceLinesOfAnotherProcessByteForByte) {
    const std::string at = address("lines");
    ASSERT_TRUE(start(monitor_, "monitor", {"--address", at})) << program_;
    const std::string listening = "vrktrace: listening on " + at + "\n";
    ASSERT_EQ(awaitOutput("monitor", listening.size(), true), listening);

    vrk::platform::setDebugChannelAddress(at);
    vrk::tracing::configure();
    ITraceLog::enable();
    ITraceLog::hidePrefix();
    ITraceLog::showLineNumbers();
    ITraceLog::setDestination(ITraceLog::queue);
    {
        ITraceLog scope("profile()", 34);
        ITraceLog::write("No Selvarine profile was found");
        ITraceLog::write("two\nlines");
    }
    ITraceLog::write("tab\there, bell\a gone\r\xe4nd back\bK");
    std::string expected =
        "+profile()(34)\n  >No Selvarine profile was found\n  >two\n  >lines\n-profile()\n"
        "\xe4nd bacKe, bell gone\n";
    for (int i = 0; i < 200; ++i) {
        ITraceLog::write(("line " + std::to_string(i)).c_str());
        expected += ">line " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(awaitOutput("monitor", expected.size()), expected);
}

TEST_F(VrktraceDelivery, PrintsTheTextOfEachMessageUpToItsZeroByte) {
    const std::string at = address("raw");
    ASSERT_TRUE(start(monitor_, "monitor", {"--address=" + at}));
    const std::string listening = "vrktrace: listening on " + at + "\n";
    ASSERT_EQ(awaitOutput("monitor", listening.size(), true), listening);
    vrk::platform::setDebugChannelAddress(at);
    ASSERT_TRUE(vrk::platform::openDebugChannel());
    const std::string messages[] = {
        std::string("TORQA: plain\0", 13), std::string("TORQA: cut\0after", 16),
        std::string("no prefix\0", 10),    std::string("TORQA: ", 7),
        std::string("TORQA: \0", 8),       std::string("TORQA:x\0", 8)};
    for (const std::string& m : messages)
        ASSERT_TRUE(vrk::platform::sendDebugMessage(m.data(), m.size()));
    const std::string expected = "plain\ncut\nno prefix\n\n\nTORQA:x\n";
    EXPECT_EQ(awaitOutput("monitor", expected.size()), expected);
}

TEST_F(VrktraceDelivery, SecondMonitorOnTheSameAddressFails) {
    const std::string at = address("twice");
    ASSERT_TRUE(start(monitor_, "first", {"-a", at}));
    const std::string listening = "vrktrace: listening on " + at + "\n";
    ASSERT_EQ(awaitOutput("first", listening.size(), true), listening);
    ASSERT_TRUE(start(second_, "second", {"--address", at}));
    EXPECT_EQ(second_.wait(), 1);
    EXPECT_EQ(errors("second"),
              "vrktrace: another debug monitor already holds the channel " + at + "\n");
    EXPECT_EQ(output("second"), "");
}

TEST_F(VrktraceDelivery, CommandLine) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* outputStart;
        const char* errorStart;
    } cases[] = {
        {{"--help"}, 0, "Usage: vrktrace [--address ADDRESS] [--escape | --raw]\n", ""},
        {{"-h"}, 0, "Usage: vrktrace [--address ADDRESS] [--escape | --raw]\n", ""},
        {{"--bogus"}, 2, "", "vrktrace: unknown argument \"--bogus\"\n"},
        {{"--address"}, 2, "", "vrktrace: --address needs an address\n"},
        {{"--address", "@"}, 1, "", "vrktrace: invalid channel address \"@\"\n"},
    };
    for (const auto& c : cases) {
        vrk::platform::ChildProcess child;
        ASSERT_TRUE(start(child, "run", c.arguments));
        EXPECT_EQ(child.wait(), c.status) << c.arguments[0];
        const std::string out = output("run");
        EXPECT_EQ(out.rfind(c.outputStart, 0), 0u) << out;
        const std::string err = errors("run");
        EXPECT_EQ(err.rfind(c.errorStart, 0), 0u) << err;
    }
    vrk::platform::ChildProcess help;
    ASSERT_TRUE(start(help, "help", {"--help"}));
    help.wait();
    EXPECT_NE(output("help").find(vrk::platform::defaultDebugChannelAddress()), std::string::npos)
        << output("help");
}

}  // namespace
