// The trace file at the process's file-size limit (ulimit -f): a line that
// would pass the limit is dropped whole, and the process goes on instead of
// being ended by SIGXFSZ.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/process.hpp"
#include "platform/trace_file.hpp"

namespace {

namespace fs = std::filesystem;

TEST(TraceFileLimit, ALineBeyondTheFileSizeLimitIsDroppedAndTheProcessGoesOn) {
    const fs::path path = fs::temp_directory_path() /
                          ("vrk-trace-limit-" + std::to_string(vrk::platform::currentProcessId()));
    std::ofstream(path, std::ios::binary) << std::string(90, 'x');
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const struct rlimit limit = {100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        const std::string fits = "fits\n";  // 95 bytes then
        const std::string beyond = "this line passes the limit\n";
        const bool first = vrk::platform::appendTraceLine(path.string(), fits.data(), fits.size());
        const bool second =
            vrk::platform::appendTraceLine(path.string(), beyond.data(), beyond.size());
        ::_exit(first && !second ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, std::string(90, 'x') + "fits\n") << "nothing of the dropped line";
    fs::remove(path);
}

}  // namespace
