// Process facts on Windows: the version query, the stack figure, the last
// error and the trace file name.
#include "platform/process.hpp"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(ProcessWindows, NtFamilyAndRegistryHostFollowTheVersionQuery) {
    const bool nt = (GetVersion() & 0x80000000u) == 0;
    EXPECT_EQ(vrk::platform::isNtFamily(), nt);
    EXPECT_FALSE(vrk::platform::isLegacyRegistryHost());  // every NT host has the full registry
    vrk::platform::forceLegacyRegistryHost(true);
    EXPECT_TRUE(vrk::platform::isLegacyRegistryHost());
    vrk::platform::clearForcedLegacyRegistryHost();
    EXPECT_FALSE(vrk::platform::isLegacyRegistryHost());
}

TEST(ProcessWindows, IdsAreTheSystemsOwn) {
    EXPECT_EQ(vrk::platform::currentProcessId(), GetCurrentProcessId());
    EXPECT_EQ(vrk::platform::currentThreadId(), GetCurrentThreadId());
}

TEST(ProcessWindows, LastErrorIsTheThreadsLastError) {
    vrk::platform::setLastError(87);
    EXPECT_EQ(GetLastError(), 87u);
    SetLastError(1018);
    EXPECT_EQ(vrk::platform::lastError(), 1018u);
}

std::uint32_t figureAtDepth(int depth) {
    volatile char local[256] = {};
    if (depth > 0) return figureAtDepth(depth - 1) + local[0];
    return vrk::platform::stackFigure(const_cast<char*>(local));
}

// The figure grows with the depth of the call. How much a level adds is the
// compiler's business (32-bit GCC folds several levels of this recursion
// into one frame), so only the growth is checked.
TEST(ProcessWindows, StackFigureGrowsWithTheDepthOfTheCall) {
    const std::uint32_t shallow = figureAtDepth(0);
    EXPECT_GT(shallow, 0u);
    EXPECT_LT(shallow, 1024u * 1024u);
    std::uint32_t previous = shallow;
    for (int depth : {10, 20, 40, 80}) {
        const std::uint32_t figure = figureAtDepth(depth);
        EXPECT_GT(figure, previous) << "depth " << depth;
        previous = figure;
    }
    EXPECT_EQ(vrk::platform::stackFigure(nullptr), 0u);  // not on this stack
}

TEST(ProcessWindows, TraceFileNameIsUpperCased) {
    EXPECT_EQ(vrk::platform::traceFileName("c:\\Temp\\trace-1.log"), "C:\\TEMP\\TRACE-1.LOG");
    EXPECT_EQ(vrk::platform::traceFileName("\xe4x"), "\xe4X");  // letters a to z only
    EXPECT_EQ(vrk::platform::traceFileName(""), "");
}

}  // namespace
