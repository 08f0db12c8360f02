// Several threads, each with its own strings, trace lines, exceptions and
// IProfile object on one store, at the same time. Run also under
// ThreadSanitizer (scripts/test --tsan runs the suites named *Threads).
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "diag/itrace.hpp"
#include "platform/environment.hpp"
#include "profile/profile_test_support.hpp"

namespace {

using namespace profiletest;

class ProfileThreads : public ProfileStoreTest {};

TEST_F(ProfileThreads, ThreadsWithTheirOwnObjectsWorkSideBySide) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 40;
    const std::string traceFile = dir_.path() + "/trace.log";
    ASSERT_TRUE(vrk::platform::setEnvironmentVariable("TORQA_TRACEFILE", traceFile.c_str()));
    ITraceLog::enable();
    ITraceLog::setDestination(ITraceLog::file);
    // Exception reports go to the trace too, as in a program.
    ITraceExceptionReporter traceReporter;
    IException::setReporter(&traceReporter);

    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            try {
                const IString app = IString("App") + IString(t);
                IProfile profile("SV.INI");
                for (int i = 0; i < kRounds; ++i) {
                    ITraceLog scope("worker round", i + 1);
                    const IString key = IString("Key") + IString(i % 5);
                    const IString value = IString("value ") + IString(t) + "\n" + IString(i);
                    profile.addOrReplaceElementWithKey(key, value, app);
                    profile.addOrReplaceElementWithKey("Count", static_cast<long>(i), app);
                    if (profile.elementWithKey(key, app) != value ||
                        profile.integerWithKey("Count", app) != i)
                        failures[t] = "read back another value";
                    ITraceLog::write(IString("thread=") + IString(t) + " round=" + IString(i) +
                                     " ");
                    try {
                        profile.elementWithKey("Missing", app);
                        failures[t] = "a missing key was read";
                    } catch (const IAccessError&) {}
                    IProfile::Cursor keys(profile, app);
                    if (walk(profile, keys).empty()) failures[t] = "no keys listed";
                }
                profile.deleteElementWithApplication(app);
                if (profile.containsApplication(app)) failures[t] = "application left behind";
            } catch (const IException& e) {
                failures[t] = std::string("raised ") + e.name() + ": " +
                              (e.textWithIndex(0) ? e.textWithIndex(0) : "");
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;

    // Every thread's lines arrived whole: entry, text and exit per round.
    std::ifstream in(traceFile);
    std::string line;
    int texts = 0, entries = 0, exits = 0, reports = 0;
    while (std::getline(in, line)) {
        if (line.find(">IAccessError exception thrown.") != std::string::npos) ++reports;
        if (line.find(">thread=") != std::string::npos) ++texts;
        if (line.find("+worker round(") != std::string::npos) ++entries;
        if (line.find("-worker round") != std::string::npos) ++exits;
    }
    EXPECT_EQ(texts, kThreads * kRounds);
    EXPECT_EQ(entries, kThreads * kRounds);
    EXPECT_EQ(exits, kThreads * kRounds);
    EXPECT_EQ(reports, kThreads * kRounds);
    IException::setReporter(&quiet_);
}

}  // namespace
