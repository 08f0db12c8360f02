// The report of an exception: its lines through the reporter, the console
// fallback, and the reporters of the library.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diag/iexc.hpp"
#include "diag/iexc_test_support.hpp"

namespace {

using ::testing::ElementsAre;

// Also marks where afterReport was called.
class CapturingReporter : public iexctest::CapturingReporter {
public:
    void afterReport() override { lines.emplace_back("<after>"); }
};

class ExceptionReportTest : public iexctest::CapturedReportTest<CapturingReporter> {
protected:
    void TearDown() override {
        vrk::diag::setReportBufferUnavailable(false);
        iexctest::CapturedReportTest<CapturingReporter>::TearDown();
    }
};

TEST_F(ExceptionReportTest, FullReportLineByLine) {
    IInvalidParameter e("a", 42, true);
    e.pushText("b");
    e.setErrorCodeGroup(IException::other);
    e.recordLocation(ISourceLocation("iprofile", "IProfile::f(const char*)", 77));
    e.report();
    EXPECT_THAT(capture_.lines,
                ElementsAre("IInvalidParameter exception thrown.\n"
                            "   function: IProfile::f(const char*)\n"
                            "   file: iprofile\n"
                            "   line: 77",
                            "   Error Id is 42", "   Error Code group is Other Error Group",
                            "   Exception text is:", "      a", "      b", "<after>"));
}

TEST_F(ExceptionReportTest, WithoutLocationTheFirstLineIsEmpty) {
    IInvalidRequest e("t", 1);
    e.report();
    ASSERT_FALSE(capture_.lines.empty());
    EXPECT_EQ(capture_.lines[0],
              "\nIInvalidRequest exception thrown.\n   Location information is unavailable.");
}

TEST_F(ExceptionReportTest, MissingIdGroupAndTexts) {
    IException e(nullptr, 0);
    e.setErrorCodeGroup(nullptr);
    e.recordLocation(ISourceLocation("f", "g()", 1));
    e.report();
    EXPECT_THAT(
        capture_.lines,
        ElementsAre("IException exception thrown.\n   function: g()\n   file: f\n   line: 1",
                    "   Error Id is unavailable.", "    Error Code group is unavailable.",
                    "   Exception text is unavailable.", "<after>"));
}

TEST_F(ExceptionReportTest, ErrorIdAndLineAreSignedDecimal) {
    IException e("x", 0xFFFFFFFFul);
    e.recordLocation(ISourceLocation("f", "g()", 0xFFFFFFFEul));
    e.report();
    ASSERT_GE(capture_.lines.size(), 2u);
    EXPECT_THAT(capture_.lines[0], ::testing::EndsWith("   line: -2"));
    EXPECT_EQ(capture_.lines[1], "   Error Id is -1");
}

TEST_F(ExceptionReportTest, ReportNamesTheMostRecentLocation) {
    IException e("x");
    for (unsigned long line = 1; line <= 6; ++line) {
        e.recordLocation(ISourceLocation("file", "f()", line));
    }
    e.report();
    ASSERT_FALSE(capture_.lines.empty());
    EXPECT_EQ(capture_.lines[0],
              "IException exception thrown.\n   function: f()\n   file: file\n   line: 6");
}

TEST_F(ExceptionReportTest, NullFunctionNameShowsUnknown) {
    IException e("x");
    e.recordLocation(ISourceLocation("file", nullptr, 3));
    e.report();
    ASSERT_FALSE(capture_.lines.empty());
    EXPECT_EQ(capture_.lines[0],
              "IException exception thrown.\n   function: Unknown\n   file: file\n   line: 3");
}

TEST_F(ExceptionReportTest, LongTextsAreReportedWhole) {
    std::string longText(5000, 'x');
    IException e(longText.c_str());
    e.report();
    ASSERT_EQ(capture_.lines.size(), 6u);
    EXPECT_EQ(capture_.lines[4], "      " + longText);
}

TEST_F(ExceptionReportTest, ReportWritesThroughTheCurrentReporter) {
    // reportException of another reporter still writes through the installed one.
    IExceptionReporter base;
    IException e("x", 3);
    base.reportException(e);
    EXPECT_EQ(capture_.lines.size(), 5u);
}

TEST_F(ExceptionReportTest, FallbackWritesTheConsoleTextsWithoutTheReporter) {
    vrk::diag::setReportBufferUnavailable(true);
    IInvalidRequest e("a", 42);
    e.pushText("b");
    e.recordLocation(ISourceLocation("vrkini", "profile()", 54));
    ::testing::internal::CaptureStderr();
    e.report();
    std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(capture_.lines.empty());
    EXPECT_EQ(out,
              "IInvalidRequest exception thrown.\n"
              "   function: profile()\n"
              "   file: vrkini\n"
              "   line: 54.\n"
              "   Error ID is 42\n"
              " Error Code group is Norvel Class Library\n"
              "   Exception text is:\n"
              "      a\n"
              "      b\n");
}

TEST_F(ExceptionReportTest, FallbackWithNothingKnown) {
    vrk::diag::setReportBufferUnavailable(true);
    IException e(nullptr);
    e.setErrorCodeGroup(nullptr);
    ::testing::internal::CaptureStderr();
    e.report();
    std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(capture_.lines.empty());
    EXPECT_EQ(out,
              "\nIException exception thrown.\n"
              "   Location information is unavailable.\n"
              "   Error ID is unavailable.\n"
              "   Error Code group is unavailable.\n"
              "   Exception text is unavailable.\n");
}

TEST(ExceptionReporterTest, BaseReporterWritesEachTextAsALineOnStandardError) {
    IExceptionReporter reporter;
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    reporter.writeLine("one\ntwo");
    reporter.writeLine("");
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "one\ntwo\n\n");
    EXPECT_EQ(out, "");
}

TEST(ExceptionReporterTest, StartUpInstallsTheTraceReporterAndNullRestoresTheDefault) {
    IExceptionReporter* installed = &IException::reporter();
    EXPECT_NE(dynamic_cast<ITraceExceptionReporter*>(installed), nullptr);

    IException::setReporter(nullptr);
    IExceptionReporter& fallback = IException::reporter();
    EXPECT_EQ(dynamic_cast<ITraceExceptionReporter*>(&fallback), nullptr);
    IException e("to the console", 7);
    ::testing::internal::CaptureStderr();
    e.report();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "\nIException exception thrown.\n   Location information is unavailable.\n"
              "   Error Id is 7\n"
              "   Error Code group is Norvel Class Library\n"
              "   Exception text is:\n"
              "      to the console\n");
    IException::setReporter(installed);
}

}  // namespace
