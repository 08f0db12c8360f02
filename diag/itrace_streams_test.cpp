// The standard-stream and file destinations of the trace.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace tr = vrk::tracing;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

bool exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// Runs body with file descriptor fd sent to a temporary file; returns what
// was written to it.
std::string capture(int fd, const std::function<void()>& body) {
    std::fflush(nullptr);
    std::FILE* sink = std::tmpfile();
    const int saved = ::dup(fd);
    ::dup2(::fileno(sink), fd);
    body();
    std::fflush(nullptr);
    ::dup2(saved, fd);
    ::close(saved);
    std::string text;
    std::rewind(sink);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, sink)) > 0;)
        text.append(buffer, n);
    std::fclose(sink);
    return text;
}

class TraceDestinations : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = scratch_.path();
        for (const char* name :
             {"TORQA TRACE", "TORQA_TRACE", "TORQA TRACETO", "TORQA_TRACETO", "TORQA CHECKSTACK",
              "TORQA_CHECKSTACK", "TORQA TRACEFILE", "TORQA_TRACEFILE"})
            unsetenv(name);
        tr::configure();
        ITraceLog::enable();
        ITraceLog::hidePrefix();
        tr::setSequenceNumber(0);
        tr::setLevel(tr::slotOfCurrentThread(), 0);
    }

    vrk::testing::TempDir scratch_{"vrk-trace-"};
    std::string dir_;
};

TEST_F(TraceDestinations, StandardStreams) {
    const struct {
        ITraceLog::Destination destination;
        const char* toStdout;
        const char* toStderr;
    } cases[] = {
        {ITraceLog::standardOutput, ">one\n>two\n>three\n", ""},
        {ITraceLog::standardError, "", ">one\n>two\n>three\n"},
    };
    for (const auto& c : cases) {
        ITraceLog::setDestination(c.destination);
        std::string err;
        const std::string out = capture(1, [&] {
            err = capture(2, [] {
                ITraceLog::write("one");
                ITraceLog::write("two\nthree");
            });
        });
        EXPECT_EQ(out, c.toStdout) << c.destination;
        EXPECT_EQ(err, c.toStderr) << c.destination;
    }
}

TEST_F(TraceDestinations, StandardOutputIsFlushedAfterEachLine) {
    ITraceLog::setDestination(ITraceLog::standardOutput);
    // Full buffering would keep the line in the stream without the flush.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    const std::string out = capture(1, [] {
        ITraceLog::write("flushed");
        // Read what reached the descriptor before anything else flushes.
        char buffer[64] = {};
        const ssize_t n = ::pread(1, buffer, sizeof buffer, 0);
        ASSERT_GE(n, 0);
        EXPECT_EQ(std::string(buffer, n), ">flushed\n");
    });
    EXPECT_EQ(out, ">flushed\n");
}

TEST_F(TraceDestinations, FileIsAppendedAndItsNameKeptAsGiven) {
    ITraceLog::setDestination(ITraceLog::file);
    const std::string path = dir_ + "/Trace.Log";
    {
        std::ofstream existing(path);
        existing << "earlier\n";
    }
    setenv("TORQA_TRACEFILE", ("  " + path + "\t").c_str(), 1);
    ITraceLog::write("one");
    ITraceLog::write("two");
    EXPECT_EQ(readFile(path), "earlier\n>one\n>two\n");
    EXPECT_FALSE(exists(dir_ + "/TRACE.LOG"));
}

TEST_F(TraceDestinations, FileNameIsReadAtEveryLine) {
    ITraceLog::setDestination(ITraceLog::file);
    const std::string first = dir_ + "/first.log";
    const std::string second = dir_ + "/second.log";
    setenv("TORQA_TRACEFILE", first.c_str(), 1);
    ITraceLog::write("one");
    setenv("TORQA TRACEFILE", second.c_str(), 1);  // the form with a blank wins
    ITraceLog::write("two");
    setenv("TORQA TRACEFILE", "", 1);  // set but empty: hides the other form, the line is dropped
    ITraceLog::write("three");
    unsetenv("TORQA TRACEFILE");
    ITraceLog::write("four");
    EXPECT_EQ(readFile(first), ">one\n>four\n");
    EXPECT_EQ(readFile(second), ">two\n");
    EXPECT_EQ(tr::sequenceNumber(), 4u);
}

TEST_F(TraceDestinations, UnsetOrUnopenableFileDropsTheLineButCountsIt) {
    ITraceLog::setDestination(ITraceLog::file);
    ITraceLog::showPrefix();
    ITraceLog::write("no name");
    setenv("TORQA_TRACEFILE", (dir_ + "/missing/trace.log").c_str(), 1);
    ITraceLog::write("no folder");
    setenv("TORQA_TRACEFILE", dir_.c_str(), 1);
    ITraceLog::write("a folder");
    setenv("TORQA_TRACEFILE", "   ", 1);
    ITraceLog::write("blank name");
    EXPECT_EQ(tr::sequenceNumber(), 4u);
    const std::string path = dir_ + "/trace.log";
    setenv("TORQA_TRACEFILE", path.c_str(), 1);
    ITraceLog::write("written");
    const std::string content = readFile(path);
    EXPECT_EQ(content.substr(0, 9), "00000004 ");
    EXPECT_EQ(content.substr(content.size() - 10), " >written\n");
}

TEST_F(TraceDestinations, FileCarriesTheWholeLineFormat) {
    ITraceLog::setDestination(ITraceLog::file);
    const std::string path = dir_ + "/trace.log";
    setenv("TORQA_TRACEFILE", path.c_str(), 1);
    {
        ITraceLog scope("f()", 12);
        ITraceLog::write("a\nb");
    }
    EXPECT_EQ(readFile(path), "+f()(12)\n  >a\n  >b\n-f()\n");
}

// A FIFO as the trace file: without a reader the line is dropped at once
// (the open would otherwise wait for a reader forever); with a reader that
// does not read, lines go in while the pipe has room and are dropped after.
TEST_F(TraceDestinations, FifoThatCannotTakeTheLineDropsItWithoutWaiting) {
    ITraceLog::setDestination(ITraceLog::file);
    const std::string path = dir_ + "/trace.fifo";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    setenv("TORQA_TRACEFILE", path.c_str(), 1);
    // The writes run in a child, so that a hang fails the test instead of
    // stopping the suite.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(10);
        ITraceLog::write("nobody reads this");
        const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (reader < 0) ::_exit(2);
        const std::string big(4000, 'x');
        for (int i = 0; i < 100; ++i)
            ITraceLog::write(big.c_str());  // 400 KB, more than a pipe holds
        ITraceLog::write("after");
        ::_exit(tr::sequenceNumber() == 102u ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the trace write hung (signal " << WTERMSIG(status) << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
