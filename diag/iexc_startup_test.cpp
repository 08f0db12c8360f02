// What the library installs at start-up: the trace reporter, the
// out-of-memory handler and the end of the process for an uncaught
// exception.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diag/iexc.hpp"
#include "diag/iexc_test_support.hpp"
#include "diag/itrace.hpp"
#include "platform/environment.hpp"

namespace {

using iexctest::CapturingReporter;

// An allocation no allocator can satisfy.
void* allocateImpossible() {
    volatile std::size_t size = SIZE_MAX / 2;
    return ::operator new(size);
}

TEST(StartUpTest, UncaughtExceptionEndsTheProcessWithStatusThreeAfterItsReport) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            vrk::platform::setEnvironmentVariable("TORQA TRACE", "NOPREFIX");
            vrk::platform::setEnvironmentVariable("TORQA TRACETO", "STDERR");
            // A thread of its own, so that no handler (the test framework's
            // included) catches the exception.
            std::thread([] {
                assertState("svINIExists==True", ISourceLocation("vrkini", "profile()", 54));
            }).join();
        },
        ::testing::ExitedWithCode(3),
        ">IInvalidRequest exception thrown.\n>   function: profile\\(\\)\n>   file: vrkini\n"
        ">   line: 54\n");
}

TEST(StartUpTest, TerminateEndsTheProcessWithStatusThree) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(IInvalidRequest("x").terminate(), ::testing::ExitedWithCode(3), "");
}

TEST(StartUpTest, FailedAllocationRaisesOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's allocator does not call the new handler";
#endif
    CapturingReporter capture;
    IException::setReporter(&capture);
    try {
        void* p = allocateImpossible();
        ::operator delete(p);
        ADD_FAILURE() << "the impossible allocation succeeded";
    } catch (const IOutOfMemory& e) {
        EXPECT_STREQ(e.name(), "IOutOfMemory");
        EXPECT_EQ(e.errorId(), 4u);
        EXPECT_FALSE(e.canRecover());
        EXPECT_STREQ(e.errorCodeGroup(), "Norvel Class Library");
        EXPECT_STREQ(e.textWithIndex(0), "There is not enough memory to complete the request.");
        ASSERT_EQ(e.numberOfLocations(), 1u);
        EXPECT_STREQ(e.locationWithIndex(0)->fileName(), "ibase");
        EXPECT_STREQ(e.locationWithIndex(0)->functionName(), "TORQA_Init::newHandler()");
        EXPECT_EQ(e.locationWithIndex(0)->lineNumber(), 151u);
    } catch (const std::bad_alloc&) {
        ADD_FAILURE() << "std::bad_alloc in place of IOutOfMemory";
    }
    ASSERT_FALSE(capture.lines.empty());
    EXPECT_EQ(capture.lines[0],
              "IOutOfMemory exception thrown.\n   function: TORQA_Init::newHandler()\n"
              "   file: ibase\n   line: 151");
    IException::setReporter(nullptr);
}

// The handler itself, called as the allocator would call it; this also runs
// under the address sanitizer, whose allocator never calls it.
TEST(StartUpTest, InstalledNewHandlerRaisesOutOfMemory) {
    CapturingReporter capture;
    IException::setReporter(&capture);
    std::new_handler handler = std::get_new_handler();
    ASSERT_NE(handler, nullptr);
    EXPECT_THROW(handler(), IOutOfMemory);
    EXPECT_EQ(capture.lines.size(), 5u);
    {
        vrk::diag::NewHandlerSuspension suspended;
        vrk::diag::NewHandlerSuspension nested;
        EXPECT_THROW(handler(), std::bad_alloc);
    }
    EXPECT_EQ(capture.lines.size(), 5u);
    IException::setReporter(nullptr);
}

TEST(StartUpTest, SuspendedHandlerRaisesNothing) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's allocator does not call the new handler";
#endif
    CapturingReporter capture;
    IException::setReporter(&capture);
    {
        vrk::diag::NewHandlerSuspension suspended;
        EXPECT_THROW(::operator delete(allocateImpossible()), std::bad_alloc);
    }
    EXPECT_TRUE(capture.lines.empty());
    // Restored afterwards.
    EXPECT_THROW(::operator delete(allocateImpossible()), IOutOfMemory);
    IException::setReporter(nullptr);
}

TEST(StartUpTest, WithTracingOffRaisingAndCatchingWritesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto body = [] {
        vrk::platform::unsetEnvironmentVariable("TORQA TRACE");
        vrk::platform::unsetEnvironmentVariable("TORQA_TRACE");
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        try {
            assertParameter("key != 0", ISourceLocation("iprofile", "f()", 1));
        } catch (const IException&) {}
        try {
            IFullException::throwIt(999, "f", 2);
        } catch (const IException&) {}
        std::string out = ::testing::internal::GetCapturedStdout();
        std::string err = ::testing::internal::GetCapturedStderr();
        std::exit(out.empty() && err.empty() ? 0 : 1);
    };
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

// The example of a failed state check in the tool's profile lookup, seen
// through the trace without a message module.
TEST(StartUpTest, StateCheckReportThroughTheTraceWithoutMessageModule) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto body = [] {
        vrk::platform::setEnvironmentVariable("TORQA TRACE", "NOPREFIX");
        vrk::platform::setEnvironmentVariable("TORQA TRACETO", "STDOUT");
        vrk::platform::setEnvironmentVariable("TORQA MSGFILE", "/nonexistent/vrkmsg.cat");
        ::testing::internal::CaptureStdout();
        try {
            assertState("svINIExists==True", ISourceLocation("vrkini", "profile()", 54));
        } catch (const IInvalidRequest&) {}
        try {
            throw IInvalidRequest("no location");
        } catch (const IInvalidRequest& e) {
            e.reporter().reportException(e);
        }
        std::string out = ::testing::internal::GetCapturedStdout();
        const std::string expected =
            ">IInvalidRequest exception thrown.\n"
            ">   function: profile()\n"
            ">   file: vrkini\n"
            ">   line: 54\n"
            ">   Error Id is 1\n"
            ">   Error Code group is Other Error Group\n"
            ">   Exception text is:\n"
            ">      Unable to load text from message file.\n"
            ">\n"
            ">IInvalidRequest exception thrown.\n"
            ">   Location information is unavailable.\n"
            ">   Error Id is unavailable.\n"
            ">   Error Code group is Norvel Class Library\n"
            ">   Exception text is:\n"
            ">      no location\n";
        if (out != expected) std::fprintf(stderr, "got:\n%s", out.c_str());
        std::exit(out == expected ? 0 : 1);
    };
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
