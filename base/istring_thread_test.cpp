// Values made independently in several threads: what the library shares
// behind the program's back (the shared empty value, the allocation counter)
// must stand concurrent use. Built also under ThreadSanitizer (scripts/test
// --tsan runs the suites named *Threads).
#include "base/ibuffer.hpp"
#include "base/istring.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 4;

template <class Body>
void runInThreads(Body body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(body, t);
    for (std::thread& thread : threads) thread.join();
}

}  // namespace

TEST(IStringThreads, EmptyValuesInEveryThreadShareTheEmptyBufferSafely) {
    IBuffer* empty = IBuffer::emptyBuffer();
    const unsigned before = empty->useCount();
    runInThreads([](int) {
        for (int i = 0; i < 500000; ++i) {
            IString a;
            IString b = a;
            IString c;
            c = b;
        }
    });
    // No count was lost, so the empty buffer is still alive and consistent.
    EXPECT_EQ(empty->useCount(), before);
    IString after;
    EXPECT_EQ(IBuffer::fromContents(after), empty);
    EXPECT_STREQ(static_cast<const char*>(after), "");
}

TEST(IStringThreads, ValuesOfEachThreadAreCountedAndBuiltIndependently) {
    IBuffer::emptyBuffer();  // made on first use; counted before the threads start
    const unsigned long allocationsBefore = IBuffer::allocationCount();
    constexpr int kRounds = 20000;
    runInThreads([](int t) {
        IString mine(static_cast<long>(t));
        for (int i = 0; i < kRounds; ++i) {
            IString copy = mine + "x";           // one new buffer
            IString empty = copy.section(1, 0);  // the shared empty value
            copy.makeUpperCase();
            ASSERT_EQ(copy.length(), mine.length() + 1);
            ASSERT_TRUE(empty.isEmpty());
        }
    });
    // Every buffer made in the threads was counted (one per round, plus the
    // one for each thread's number).
    EXPECT_EQ(IBuffer::allocationCount() - allocationsBefore,
              static_cast<unsigned long>(kThreads) * (kRounds + 1));
}
