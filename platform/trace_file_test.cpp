// Appending trace lines to a file from several threads at once, as the
// trace's file destination does: each call opens, appends and closes.
#include "platform/trace_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.hpp"

namespace {

namespace fs = std::filesystem;

// Every line of every thread arrives whole and none is lost: two appends
// that meet must not land at the same end of the file.
TEST(TraceFile, LinesOfThreadsWritingAtOnceAllArriveWhole) {
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    const fs::path dir = fs::temp_directory_path() /
                         ("vrk-tracefile-" + std::to_string(vrk::platform::currentProcessId()));
    fs::create_directories(dir);
    const std::string path = (dir / "trace.log").string();
    fs::remove(path);

    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &path, &failures] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = "thread " + std::to_string(t) + " line " +
                                         std::to_string(i) + " " + std::string(40, 'x') + "\n";
                if (!vrk::platform::appendTraceLine(path, line.data(), line.size())) ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    std::set<std::string> seen;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows' text files
        ++count;
        seen.insert(line);
    }
    in.close();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0) << "thread " << t;
        for (int i = 0; i < kLines; ++i) {
            const std::string expected = "thread " + std::to_string(t) + " line " +
                                         std::to_string(i) + " " + std::string(40, 'x');
            EXPECT_EQ(seen.count(expected), 1u) << expected;
        }
    }
    EXPECT_EQ(count, kThreads * kLines);
    fs::remove_all(dir);
}

}  // namespace
