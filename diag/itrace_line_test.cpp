// Trace line format: prefix, indentation, markers, line numbers, embedded
// line feeds and zero bytes. Lines go to a trace file in a temporary folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"
#include "platform/process.hpp"
#include "platform/environment.hpp"

namespace {

namespace tr = vrk::tracing;

// True when text has the shape: same length, '#' in the shape standing for
// any digit, every other character standing for itself.
bool hasShape(const std::string& text, const std::string& shape) {
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == '#' ? !digit : shape[i] != text[i]) return false;
    }
    return true;
}

class TraceLines : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = (std::filesystem::temp_directory_path() /
                ("vrk-trace-" + std::to_string(vrk::platform::currentProcessId())))
                   .string();
        std::filesystem::create_directories(dir_);
        path_ = dir_ + "/trace.log";
        for (const char* name :
             {"TORQA TRACE", "TORQA_TRACE", "TORQA TRACETO", "TORQA_TRACETO", "TORQA CHECKSTACK",
              "TORQA_CHECKSTACK", "TORQA TRACEFILE", "TORQA_TRACEFILE"})
            vrk::platform::unsetEnvironmentVariable(name);
        vrk::platform::setEnvironmentVariable("TORQA_TRACEFILE", path_.c_str());
        tr::configure();
        ITraceLog::enable();
        ITraceLog::showPrefix();
        ITraceLog::showLineNumbers();
        ITraceLog::setDestination(ITraceLog::file);
        tr::gTrace.stackCheck = false;
        tr::setSequenceNumber(0);
        slot_ = tr::slotOfCurrentThread();
        tr::setLevel(slot_, 0);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    static std::string readFile(const std::string& path) {
        std::ifstream in(path);  // a text file: CR LF line ends on Windows
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    // The lines of the trace file; the file must end with a line feed.
    std::vector<std::string> lines() const {
        const std::string content = readFile(path_);
        std::vector<std::string> result;
        if (content.empty()) return result;
        EXPECT_EQ(content.back(), '\n') << content;
        std::size_t start = 0;
        for (std::size_t end; (end = content.find('\n', start)) != std::string::npos;
             start = end + 1)
            result.push_back(content.substr(start, end - start));
        return result;
    }

    // The prefix of the line with the given sequence number.
    std::string prefix(std::uint32_t sequence) const {
        char text[64];
        std::snprintf(text, sizeof text, "%08u %06u:%02u ", sequence % 100000000u,
                      vrk::platform::currentProcessId() % 1000000u, slot_ % 100u);
        return text;
    }

    std::string dir_;
    std::string path_;
    unsigned slot_ = 0;
};

TEST_F(TraceLines, ScopeAndTextWithPrefix) {
    {
        ITraceLog scope("profile()", 34);
        ITraceLog::write("No Selvarine profile was found");
    }
    EXPECT_EQ(lines(), (std::vector<std::string>{prefix(0) + "+profile()(34)",
                                                 prefix(1) + "  >No Selvarine profile was found",
                                                 prefix(2) + "-profile()"}));
    EXPECT_EQ(tr::sequenceNumber(), 3u);
    EXPECT_EQ(tr::level(slot_), 0u);
}

TEST_F(TraceLines, ScopeAndTextWithoutPrefix) {
    ITraceLog::hidePrefix();
    {
        ITraceLog outer("outer()", 10);
        {
            ITraceLog inner("inner()", 20);
            ITraceLog::write(IString("deep"));
        }
        ITraceLog::write("back");
    }
    EXPECT_EQ(lines(), (std::vector<std::string>{"+outer()(10)", "  +inner()(20)", "    >deep",
                                                 "  -inner()", "  >back", "-outer()"}));
}

TEST_F(TraceLines, SequenceNumberKeepsItsLastEightDigits) {
    const struct {
        std::uint32_t sequence;
        const char* shown;
    } cases[] = {{0, "00000000"},         {7, "00000007"},         {99999999, "99999999"},
                 {100000000, "00000000"}, {123456789, "23456789"}, {4294967295u, "94967295"}};
    for (const auto& c : cases) {
        std::remove(path_.c_str());
        tr::setSequenceNumber(c.sequence);
        ITraceLog::write("x");
        const auto written = lines();
        ASSERT_EQ(written.size(), 1u) << c.sequence;
        EXPECT_EQ(written[0].substr(0, 9), std::string(c.shown) + " ") << c.sequence;
        EXPECT_EQ(tr::sequenceNumber(), c.sequence + 1) << c.sequence;  // 4294967295 wraps to 0
    }
}

TEST_F(TraceLines, SlotKeepsItsLastTwoDigitsAndTakenSlotsAreProbed) {
    // Make the thread probe from its home slot onwards to slot 123.
    const std::uint32_t thread = vrk::platform::currentThreadId();
    const unsigned home = thread % tr::kSlotCount;
    tr::occupySlot(slot_, 0);
    for (unsigned s = home; s != 123; s = (s + 1) % tr::kSlotCount)
        tr::occupySlot(s, 1000000000u + s);
    ITraceLog::write("x");
    EXPECT_EQ(tr::slotOfCurrentThread(), 123u);
    const auto written = lines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_TRUE(hasShape(written[0], "00000000 ######:23 >x")) << written[0];
}

TEST_F(TraceLines, StackFigureFollowsTheNumbers) {
    tr::gTrace.stackCheck = true;
    ITraceLog::write("x");
    ITraceLog::hidePrefix();
    ITraceLog::write("y");  // the figure belongs to the prefix
    const auto written = lines();
    ASSERT_EQ(written.size(), 2u);
    ASSERT_TRUE(hasShape(written[0], "00000000 ######:##  ####### >x")) << written[0];
    EXPECT_GT(std::stoul(written[0].substr(20, 7)), 0u);
    EXPECT_EQ(written[1], ">y");
}

TEST_F(TraceLines, ExitLineLowersTheLevelByTwoOnlyFromTwoUp) {
    ITraceLog::hidePrefix();
    const struct {
        unsigned levelAtExit;
        const char* line;
        unsigned levelAfter;
    } cases[] = {
        {0, "-f()", 0}, {1, " -f()", 1}, {2, "-f()", 0}, {3, " -f()", 1}, {6, "    -f()", 4}};
    for (const auto& c : cases) {
        std::remove(path_.c_str());
        {
            ITraceLog scope("f()");
            tr::setLevel(slot_, c.levelAtExit);
        }
        const auto written = lines();
        ASSERT_EQ(written.size(), 2u) << c.levelAtExit;
        EXPECT_EQ(written[1], c.line) << c.levelAtExit;
        EXPECT_EQ(tr::level(slot_), c.levelAfter) << c.levelAtExit;
    }
}

TEST_F(TraceLines, LineNumberShownOnlyWhenEnabledAndPositive) {
    ITraceLog::hidePrefix();
    const struct {
        bool shown;
        long line;
        const char* entry;
    } cases[] = {{true, 34, "+f()(34)"},
                 {true, 1, "+f()(1)"},
                 {true, 0, "+f()"},
                 {true, -5, "+f()"},
                 {true, 2147483647L, "+f()(2147483647)"},
                 {false, 34, "+f()"},
                 {false, 0, "+f()"}};
    for (const auto& c : cases) {
        std::remove(path_.c_str());
        c.shown ? ITraceLog::showLineNumbers() : ITraceLog::hideLineNumbers();
        { ITraceLog scope("f()", c.line); }
        EXPECT_EQ(lines(), (std::vector<std::string>{c.entry, "-f()"})) << c.shown << " " << c.line;
    }
}

TEST_F(TraceLines, NothingWrittenWhileDisabled) {
    ITraceLog::disable();
    {
        ITraceLog scope("f()", 3);
        ITraceLog::write("text");
        ITraceLog::write(IString("text"));
    }
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(tr::sequenceNumber(), 0u);
    EXPECT_EQ(tr::level(slot_), 0u);
}

TEST_F(TraceLines, ExitLineOnlyForAWrittenEntryLine) {
    ITraceLog::hidePrefix();
    ITraceLog::disable();
    {
        ITraceLog silent("silent()");
        ITraceLog::enable();
        ITraceLog::write("inside");
    }
    { ITraceLog nameless(nullptr, 5); }
    {
        ITraceLog scope("g()");
        ITraceLog::disable();
    }
    ITraceLog::enable();
    EXPECT_EQ(lines(), (std::vector<std::string>{">inside", "+g()"}));
}

TEST_F(TraceLines, ExitLineWrittenWhenAnExceptionLeaves) {
    ITraceLog::hidePrefix();
    try {
        ITraceLog scope("thrower()", 7);
        throw 1;
    } catch (int) {}
    EXPECT_EQ(lines(), (std::vector<std::string>{"+thrower()(7)", "-thrower()"}));
    EXPECT_EQ(tr::level(slot_), 0u);
}

TEST_F(TraceLines, EmbeddedLineFeedsRepeatPrefixIndentAndMarker) {
    ITraceLog scope("f()");
    std::remove(path_.c_str());
    const std::string lead1 = prefix(1) + "  >";
    const std::string lead2 = prefix(2) + "  >";
    ITraceLog::write("one\ntwo\nthree");
    ITraceLog::write("\n");
    EXPECT_EQ(lines(), (std::vector<std::string>{lead1 + "one", lead1 + "two", lead1 + "three",
                                                 lead2, lead2}));
}

TEST_F(TraceLines, TextEndsAtAZeroByteButTheLineStillEnds) {
    ITraceLog::hidePrefix();
    ITraceLog::write(IString("ab\0cd", 5));
    ITraceLog::write("next");
    ITraceLog::write(IString("\0\nhidden", 8));
    ITraceLog::write(static_cast<const char*>(nullptr));
    ITraceLog::write(IString());
    EXPECT_EQ(lines(), (std::vector<std::string>{">ab", ">next", ">", ">", ">"}));
    EXPECT_EQ(tr::sequenceNumber(), 5u);
}

TEST_F(TraceLines, EachThreadHasItsOwnSlotAndLevel) {
    ITraceLog::hidePrefix();
    ITraceLog scope("main()");
    std::thread other([] {
        ITraceLog inner("worker()");
        ITraceLog::write("working");
    });
    other.join();
    ITraceLog::write("done");
    EXPECT_EQ(lines(), (std::vector<std::string>{"+main()", "+worker()", "  >working", "-worker()",
                                                 "  >done"}));
}

TEST_F(TraceLines, ConcurrentThreadsGetDistinctNumbersAndSlots) {
    constexpr int kThreads = 8;
    constexpr int kLines = 40;
    unsigned slotOf[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &slotOf] {
            ITraceLog scope("worker()");
            for (int i = 0; i < kLines; ++i)
                ITraceLog::write(("thread " + std::to_string(t)).c_str());
            slotOf[t] = tr::slotOfCurrentThread();
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::set<unsigned>(slotOf, slotOf + kThreads).size(),
              static_cast<std::size_t>(kThreads));

    const auto written = lines();
    ASSERT_EQ(written.size(), static_cast<std::size_t>(kThreads * (kLines + 2)));
    std::set<std::string> numbers;
    int textLines = 0;
    for (const std::string& line : written) {
        numbers.insert(line.substr(0, 8));
        if (line.size() > 29 && line.compare(19, 9, "  >thread") == 0) {
            ++textLines;
            char slot[8];
            std::snprintf(slot, sizeof slot, ":%02u ", slotOf[std::stoi(line.substr(29))] % 100u);
            EXPECT_EQ(line.substr(15, 4), slot) << line;  // its own slot, indented by its own scope
        }
    }
    EXPECT_EQ(textLines, kThreads * kLines);
    EXPECT_EQ(numbers.size(), written.size());  // no number given twice
}

}  // namespace
