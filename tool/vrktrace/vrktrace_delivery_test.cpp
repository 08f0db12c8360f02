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

#include "platform/child_process.hpp"
#include "platform/process.hpp"
#include "tool/vrktrace/vrktrace_test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace vrktracetest;

// The lines, each with its line feed, as the monitor writes them.
template <std::size_t N>
std::string linesOf(const char* const (&lines)[N]) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\n";
    return text;
}

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

    traceToQueueAt(at);
    traceAScope();
    ITraceLog::write("tab\there, bell\a gone\r\xe4nd back\bK");
    std::string expected = linesOf(kScopeLines) + "\xe4nd bacKe, bell gone\n";
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
    for (const std::string& m : kRawMessages)
        ASSERT_TRUE(vrk::platform::sendDebugMessage(m.data(), m.size()));
    const std::string expected = linesOf(kRawMessageLines);
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
    for (const CommandLineCase& c : kCommandLineCases) {
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
