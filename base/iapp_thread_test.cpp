// The application object when several threads ask for it first at once.
#include "base/iapp.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(IApplicationThreads, FirstCallsFromSeveralThreadsGetTheOneObject) {
    constexpr int kThreads = 4;
    std::vector<ICurrentApplication*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &seen] { seen[t] = &IApplication::current(); });
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t], &IApplication::current()) << t;
    EXPECT_NE(IApplication::current().id(), 0u);
}
