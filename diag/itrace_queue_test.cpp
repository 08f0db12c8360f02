// The queue destination, through a real debug-monitor channel received in
// the test.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"
#include "platform/debug_channel.hpp"
#include "platform/process.hpp"

namespace {

namespace tr = vrk::tracing;
using vrk::platform::DebugMonitorChannel;

std::string message(const std::string& text) { return "TORQA: " + text + std::string(1, '\0'); }

class TraceQueue : public ::testing::Test {
protected:
    void SetUp() override {
        address_ = std::string(vrk::platform::defaultDebugChannelAddress()) + "-test-" +
                   std::to_string(vrk::platform::currentProcessId()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        vrk::platform::setDebugChannelAddress(address_);
        tr::configure();
        ITraceLog::enable();
        ITraceLog::hidePrefix();
        ITraceLog::setDestination(ITraceLog::queue);
        tr::setSequenceNumber(0);
        tr::setLevel(tr::slotOfCurrentThread(), 0);
    }

    void TearDown() override { vrk::platform::setDebugChannelAddress(""); }

    void startMonitor() {
        std::string error;
        ASSERT_TRUE(monitor_.bind(address_, error)) << error;
    }

    // The next message; fails the test when none comes within a generous wait.
    std::string next() {
        std::string received;
        EXPECT_EQ(monitor_.receive(received, 10000), DebugMonitorChannel::Receive::message);
        return received;
    }

    // True when no message is waiting (everything sent so far was read).
    bool drained() {
        std::string received;
        return monitor_.receive(received, 0) == DebugMonitorChannel::Receive::timeout;
    }

    std::string address_;
    DebugMonitorChannel monitor_;
};

TEST_F(TraceQueue, OneMessagePerLineWithPrefixAndZeroByte) {
    startMonitor();
    ITraceLog::showPrefix();
    ITraceLog::write("abc");
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "00000000 %06u:%02u ",
                  vrk::platform::currentProcessId() % 1000000u, tr::slotOfCurrentThread() % 100u);
    const std::string received = next();
    EXPECT_EQ(received, message(std::string(prefix) + ">abc"));
    EXPECT_EQ(received.size(), 7 + 19 + 4 + 1u);  // "TORQA: ", prefix, ">abc", zero
    EXPECT_TRUE(drained());
}

TEST_F(TraceQueue, EmbeddedLineFeedsAndScopesGiveOneMessageEach) {
    startMonitor();
    {
        ITraceLog scope("f()", 9);
        ITraceLog::write("one\ntwo");
    }
    EXPECT_EQ(next(), message("+f()(9)"));
    EXPECT_EQ(next(), message("  >one"));
    EXPECT_EQ(next(), message("  >two"));
    EXPECT_EQ(next(), message("-f()"));
    EXPECT_TRUE(drained());
}

TEST_F(TraceQueue, ControlCharacters) {
    startMonitor();
    const struct {
        const char* text;
        std::vector<std::string> messages;
    } cases[] = {
        {"abc", {">abc"}},
        {"ab\rX", {"Xab"}},  // carriage return: back to column 7, overwrite
        {"abcd\r\rXY", {"XYbcd"}},
        {"ab\b\bX", {">Xb"}},      // backspace: one column back
        {"\b\b\b\bX", {"X"}},      // never before column 7
        {"a\tb", {">a   b"}},      // tab from column 9 to the stop at 12
        {"\r\tX", {">    X"}},     // tab at column 7 goes to 12
        {"abc\r\tX", {">abc X"}},  // written columns keep their characters
        {"abcdefgh\r\tX", {">abcdXfgh"}},
        {"abcd\tX", {">abcd     X"}},  // tab at a stop (12) goes to the next (17)
        {"a\a\vb", {">ab"}},           // bell and vertical tab are ignored
        {"a\fb", {">a", "b"}},         // form feed sends like a line feed
        {"a\r\n", {">a", ">"}},
    };
    for (const auto& c : cases) {
        ITraceLog::write(c.text);
        for (const std::string& expected : c.messages)
            EXPECT_EQ(next(), message(expected)) << c.text;
        EXPECT_TRUE(drained()) << c.text;
    }
}

TEST_F(TraceQueue, LongLineIsCutAt1024Characters) {
    startMonitor();
    ITraceLog::write(std::string(2000, 'a').c_str());
    // ">" and 1023 letters fill the buffer up to its zero byte: sent whole;
    // the rest of the line, its line feed included, is cut off.
    const std::string first = next();
    EXPECT_EQ(first.size(), tr::kQueueTextArea);
    EXPECT_EQ(first, message(">" + std::string(1023, 'a')));
    EXPECT_TRUE(drained());
    ITraceLog::write("next");
    EXPECT_EQ(next(), message(">next"));
}

TEST_F(TraceQueue, CutLineFeedLeavesTheTextForTheNextLine) {
    startMonitor();
    // The carriage return brings the cursor back, so the cut text does not
    // fill the buffer, and its line feed is lost with the cut.
    ITraceLog::write(("\r" + std::string(1500, 'a')).c_str());
    EXPECT_TRUE(drained());
    ITraceLog::write("b");
    // 1022 letters, then ">b" fills the buffer; the line feed then sends the
    // fresh, empty buffer.
    EXPECT_EQ(next(), message(std::string(1022, 'a') + ">b"));
    EXPECT_EQ(next(), message(""));
    EXPECT_TRUE(drained());
}

TEST_F(TraceQueue, FullBufferIsSentAndTheLineGoesOn) {
    startMonitor();
    // Each tab moves 5 columns on: 205 of them reach the end of the text area.
    ITraceLog::write((std::string(300, '\t') + "x").c_str());
    const std::string first = next();
    EXPECT_EQ(first.size(), tr::kQueueTextArea);
    EXPECT_EQ(first, message(">" + std::string(1023, ' ')));
    EXPECT_EQ(next(), message(std::string(95 * 5, ' ') + "x"));
    EXPECT_TRUE(drained());
}

TEST_F(TraceQueue, MissingMonitorDropsLinesUntilOneAppears) {
    ITraceLog::write("lost");
    EXPECT_FALSE(vrk::platform::isDebugChannelOpen());
    startMonitor();
    ITraceLog::write("seen");
    EXPECT_EQ(next(), message(">seen"));
    EXPECT_TRUE(drained());
    EXPECT_EQ(tr::sequenceNumber(), 2u);
}

TEST_F(TraceQueue, FailedSendKeepsTheTextForTheNextLine) {
    startMonitor();
    ITraceLog::write("one");
    EXPECT_EQ(next(), message(">one"));
    monitor_.close();  // the monitor goes away with the channel open
    ITraceLog::write("two");
    if (vrk::platform::isDebugChannelOpen())
        GTEST_SKIP()
            << "this system keeps the vanished monitor's mailslot while a writer holds it (Wine)";
    ITraceLog::write("three");  // no monitor to reconnect to: dropped
    startMonitor();
    ITraceLog::write("four");
    EXPECT_EQ(next(), message(">two>four"));
    EXPECT_TRUE(drained());
    EXPECT_EQ(tr::sequenceNumber(), 4u);
}

TEST_F(TraceQueue, NoFreeQueueEntryDropsTheLine) {
    startMonitor();
    for (unsigned entry = 0; entry < tr::kQueueEntryCount; ++entry)
        tr::occupyQueueEntry(entry, 1000000000u + entry);
    ITraceLog::write("lost");
    tr::occupyQueueEntry(vrk::platform::currentThreadId() % tr::kQueueEntryCount, 0);
    ITraceLog::write("kept");
    EXPECT_EQ(next(), message(">kept"));
    EXPECT_TRUE(drained());
    for (unsigned entry = 0; entry < tr::kQueueEntryCount; ++entry)
        if (entry != vrk::platform::currentThreadId() % tr::kQueueEntryCount)
            tr::occupyQueueEntry(entry, 0);
}

TEST_F(TraceQueue, EachThreadBuildsItsOwnMessage) {
    startMonitor();
    ITraceLog::write(("\r" + std::string(1500, 'a')).c_str());  // stays in this thread's buffer
    std::thread other([] { ITraceLog::write("worker"); });
    other.join();
    EXPECT_EQ(next(), message(">worker"));
    ITraceLog::write("b");
    EXPECT_EQ(next(), message(std::string(1022, 'a') + ">b"));
    EXPECT_EQ(next(), message(""));
    EXPECT_TRUE(drained());
}

}  // namespace
