// End to end: the built vrktrace monitor receives the trace lines of this
// test process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tool/vrktrace/vrktrace_test_support.hpp"

namespace {

using namespace vrktracetest;

// build-dir/bin/vrktrace; the tests themselves run from build-dir/tests.
std::string monitorProgram() {
    if (const char* dir = std::getenv("VRK_BINARY_DIR")) return std::string(dir) + "/bin/vrktrace";
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    for (int up = 0; up < 2; ++up) path = path.substr(0, path.rfind('/'));
    return path + "/bin/vrktrace";
}

// A running vrktrace with its standard output and error on pipes.
class Monitor {
public:
    // With onTerminal, standard output is a pseudo-terminal (in raw mode, so
    // that the line feeds come through unchanged) instead of a pipe.
    explicit Monitor(const std::vector<std::string>& arguments, bool onTerminal = false) {
        int out[2], err[2];
        if (onTerminal ? !openTerminal(out) : ::pipe(out) != 0) return;
        if (::pipe(err) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::close(out[0]);
            ::close(err[0]);
            std::vector<char*> argv;
            std::string program = monitorProgram();
            argv.push_back(program.data());
            std::vector<std::string> copies(arguments);
            for (std::string& a : copies) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            _exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    ~Monitor() {
        if (pid_ > 0 && !finished_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
    }

    // The next line of standard output or error, without its line feed;
    // "<eof>" when the stream ended, "<stalled>" after a long wait.
    std::string outputLine() { return readLine(out_, outBuffer_); }
    std::string errorLine() { return readLine(err_, errBuffer_); }

    // Everything left on standard error (the program must have ended).
    std::string restOfErrors() {
        std::string text = errBuffer_;
        char chunk[4096];
        for (ssize_t n; (n = ::read(err_, chunk, sizeof chunk)) > 0;) text.append(chunk, n);
        return text;
    }

    // Sends the signal and returns the exit status; -1 when killed.
    int stop(int signal) {
        ::kill(pid_, signal);
        return wait();
    }

    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        finished_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    // out[0] the terminal's controlling side, out[1] its terminal side.
    static bool openTerminal(int out[2]) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
        const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        if (slave < 0) return false;
        termios mode;
        ::tcgetattr(slave, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(slave, TCSANOW, &mode);
        out[0] = master;
        out[1] = slave;
        return true;
    }

    static std::string readLine(int fd, std::string& buffer) {
        for (;;) {
            const std::size_t end = buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return line;
            }
            pollfd wait{fd, POLLIN, 0};
            if (::poll(&wait, 1, 20000) <= 0) return "<stalled>";
            char chunk[4096];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) return "<eof>";
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool finished_ = false;
    std::string outBuffer_;
    std::string errBuffer_;
};

std::string testAddress(const char* tag) {
    return "@vrk-vrktrace-test-" + std::to_string(::getpid()) + "-" + tag;
}

TEST(Vrktrace, ShowsEachTraceLineOfAnotherProcess) {
    const std::string address = testAddress("lines");
    Monitor monitor({"--address", address});
    ASSERT_EQ(monitor.errorLine(), "vrktrace: listening on " + address);

    traceToQueueAt(address);
    traceAScope();
    ITraceLog::write("tab\there, bell\a gone");
    // More lines than the channel queues at once: the sender waits for the monitor.
    for (int i = 0; i < 300; ++i) ITraceLog::write(("line " + std::to_string(i)).c_str());

    for (const char* line : kScopeLines) EXPECT_EQ(monitor.outputLine(), line);
    EXPECT_EQ(monitor.outputLine(), ">tab here, bell gone");
    for (int i = 0; i < 300; ++i) ASSERT_EQ(monitor.outputLine(), ">line " + std::to_string(i));

    EXPECT_EQ(monitor.stop(SIGTERM), 0);
    EXPECT_EQ(monitor.outputLine(), "<eof>");
    EXPECT_EQ(monitor.restOfErrors(), "");
}

TEST(Vrktrace, PrintsTheTextOfEachMessageUpToItsZeroByte) {
    const std::string address = testAddress("raw");
    Monitor monitor({"--address=" + address});
    ASSERT_EQ(monitor.errorLine(), "vrktrace: listening on " + address);
    vrk::platform::setDebugChannelAddress(address);
    ASSERT_TRUE(vrk::platform::openDebugChannel());
    for (const std::string& m : kRawMessages)
        ASSERT_TRUE(vrk::platform::sendDebugMessage(m.data(), m.size()));
    for (const char* line : kRawMessageLines) EXPECT_EQ(monitor.outputLine(), line);
    EXPECT_EQ(monitor.stop(SIGINT), 0);
}

// Any process may send anything: on a terminal, control bytes, C1 controls
// and bytes that are not UTF-8 are shown as \xHH; elsewhere the bytes come
// through as sent, unless --escape asks for the visible form.
TEST(Vrktrace, ControlBytesAreShownVisiblyOnATerminal) {
    const std::string sent = "a\x1B[31mred\x07\x7F\r\nx\tC:\\A \xC3\xA9 \xC2\x9B\x9B\xFF\xE2\x82";
    const std::string visible =
        "a\\x1B[31mred\\x07\\x7F\\x0D\\x0Ax\tC:\\A \xC3\xA9 \\xC2\\x9B\\x9B\\xFF\\xE2\\x82";
    const struct {
        const char* label;
        std::vector<std::string> options;
        bool onTerminal;
        std::string expected;
    } cases[] = {
        {"terminal", {}, true, visible},
        {"terminal, --raw", {"--raw"}, true, sent},
        {"pipe", {}, false, sent},
        {"pipe, --escape", {"-e"}, false, visible},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string address = testAddress("control");
        std::vector<std::string> arguments{"--address", address};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        Monitor monitor(arguments, c.onTerminal);
        ASSERT_EQ(monitor.errorLine(), "vrktrace: listening on " + address);
        vrk::platform::setDebugChannelAddress(address);
        ASSERT_TRUE(vrk::platform::openDebugChannel());
        const std::string message = "TORQA: " + sent + std::string(1, '\0');
        ASSERT_TRUE(vrk::platform::sendDebugMessage(message.data(), message.size()));
        ASSERT_TRUE(vrk::platform::sendDebugMessage("TORQA: end", 11));
        std::string got;
        for (std::string line; (line = monitor.outputLine()) != "end";) {
            ASSERT_TRUE(line != "<eof>" && line != "<stalled>") << got;
            got += line + "\n";
        }
        EXPECT_EQ(got, c.expected + "\n");
        EXPECT_EQ(monitor.stop(SIGTERM), 0);
        vrk::platform::closeDebugChannel();
    }
}

TEST(Vrktrace, SecondMonitorOnTheSameAddressFails) {
    const std::string address = testAddress("twice");
    Monitor first({"-a", address});
    ASSERT_EQ(first.errorLine(), "vrktrace: listening on " + address);
    Monitor second({"--address", address});
    EXPECT_EQ(second.wait(), 1);
    EXPECT_EQ(second.restOfErrors(),
              "vrktrace: another debug monitor already holds the channel " + address + "\n");
    EXPECT_EQ(second.outputLine(), "<eof>");
    EXPECT_EQ(first.stop(SIGINT), 0);
}

TEST(Vrktrace, SocketFileAddress) {
    char pattern[] = "/tmp/vrktrace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string path = std::string(pattern) + "/monitor";
    {
        Monitor monitor({"--address", path});
        ASSERT_EQ(monitor.errorLine(), "vrktrace: listening on " + path);
        traceToQueueAt(path);
        ITraceLog::write("via a file");
        EXPECT_EQ(monitor.outputLine(), ">via a file");
        EXPECT_EQ(monitor.stop(SIGTERM), 0);
    }
    EXPECT_NE(::access(path.c_str(), F_OK), 0);  // the monitor removed its socket file
    ::rmdir(pattern);
}

TEST(Vrktrace, CommandLine) {
    for (const CommandLineCase& c : kCommandLineCases) {
        Monitor monitor(c.arguments);
        EXPECT_EQ(monitor.wait(), c.status) << c.arguments[0];
        const std::string out = monitor.outputLine() + "\n";  // its first line, whole
        EXPECT_EQ(out.rfind(c.outputStart, 0), 0u) << out;
        const std::string err = monitor.restOfErrors();
        EXPECT_EQ(err.rfind(c.errorStart, 0), 0u) << err;
    }
    Monitor help({"--help"});
    help.wait();
    std::string text;
    for (std::string line; (line = help.outputLine()) != "<eof>";) text += line + "\n";
    EXPECT_NE(text.find("@TORQA/PRINTF32"), std::string::npos) << text;
}

}  // namespace
