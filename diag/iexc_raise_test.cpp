// The raise operations: the class, id, flag, group, text and location of
// what they throw, and the report written before the throw.
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diag/iexc.hpp"
#include "diag/iexc_test_support.hpp"
#include "diag/imessage.hpp"
#include "platform/process.hpp"

namespace {

using ::testing::ElementsAre;

class RaiseTest : public iexctest::CapturedReportTest<> {
protected:
    // Runs raise, which must throw an IException; answers a copy of it.
    template <class F>
    IException caught(F raise) {
        try {
            raise();
        } catch (const IException& e) {
            thrownName_ = e.name();
            return e;
        }
        ADD_FAILURE() << "nothing was thrown";
        return IException(nullptr);
    }

    std::string thrownName_;
};

const ISourceLocation kHere("ifile", "f(int) const", 321);

TEST_F(RaiseTest, AssertionOperations) {
    struct Case {
        const char* operation;
        std::function<void()> raise;
        const char* name;
        unsigned long id;
        bool recoverable;
        std::string text;
    };
    const std::string message1 = ILibraryMessage(1, "key != 0").text();
    const Case cases[] = {
        {"assertState", [] { assertState("key != 0", kHere); }, "IInvalidRequest", 1, true,
         message1},
        {"assertParameter", [] { assertParameter("key != 0", kHere); }, "IInvalidParameter", 1,
         true, message1},
        {"assertTrue", [] { assertTrue("key != 0", kHere); }, "IAssertionFailure", 0, false,
         "key != 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        IException e = caught(c.raise);
        EXPECT_EQ(thrownName_, c.name);
        EXPECT_EQ(e.errorId(), c.id);
        EXPECT_EQ(e.canRecover(), c.recoverable);
        EXPECT_STREQ(e.errorCodeGroup(), "Other Error Group");
        ASSERT_EQ(e.numberOfTexts(), 1u);
        EXPECT_EQ(e.textWithIndex(0), c.text);
        ASSERT_EQ(e.numberOfLocations(), 1u);
        EXPECT_STREQ(e.locationWithIndex(0)->fileName(), "ifile");
        EXPECT_STREQ(e.locationWithIndex(0)->functionName(), "f(int) const");
        EXPECT_EQ(e.locationWithIndex(0)->lineNumber(), 321u);
    }
}

TEST_F(RaiseTest, AssertStateCarriesTheExpressionInItsMessage) {
    IException e = caught([] { assertState("svINIExists==True", kHere); });
    EXPECT_STREQ(e.textWithIndex(0), "A required condition is not met: svINIExists==True");
}

TEST_F(RaiseTest, ReportIsWrittenOnceBeforeTheThrow) {
    try {
        assertParameter("profName != 0", ISourceLocation("iprofile", "IProfile::f()", 10));
    } catch (const IInvalidParameter&) {
        EXPECT_THAT(capture_.lines,
                    ElementsAre("IInvalidParameter exception thrown.\n"
                                "   function: IProfile::f()\n"
                                "   file: iprofile\n"
                                "   line: 10",
                                "   Error Id is 1", "   Error Code group is Other Error Group",
                                "   Exception text is:",
                                "      A required condition is not met: profName != 0"));
        return;
    }
    FAIL() << "IInvalidParameter not thrown";
}

TEST_F(RaiseTest, ThrowLibraryErrorPicksTheClassByKind) {
    const char* names[] = {"IAccessError",    "IDeviceError",         "IInvalidParameter",
                           "IInvalidRequest", "IOutOfSystemResource", "IOutOfWindowResource",
                           "IOutOfMemory",    "IResourceExhausted"};
    for (int kind = kAccessError; kind <= kResourceExhausted; ++kind) {
        SCOPED_TRACE(names[kind]);
        IException e = caught([kind] {
            throwLibraryError(52, kHere, static_cast<IExceptionKind>(kind), kind % 2 == 0,
                              "ignored");
        });
        EXPECT_EQ(thrownName_, names[kind]);
        EXPECT_EQ(e.errorId(), 52u);
        EXPECT_EQ(e.canRecover(), kind % 2 == 0);
        EXPECT_STREQ(e.errorCodeGroup(), "Norvel Class Library");
        EXPECT_STREQ(e.textWithIndex(0), "The position is outside the string.");
    }
}

TEST_F(RaiseTest, ThrowLibraryErrorDefaultsAndUnknownNumbers) {
    IException e = caught([] { throwLibraryError(51, kHere); });
    EXPECT_EQ(thrownName_, "IInvalidRequest");
    EXPECT_TRUE(e.canRecover());
    EXPECT_STREQ(e.textWithIndex(0),
                 "The result would be longer than the largest length a string can hold.");

    IException unknown = caught([] { throwLibraryError(987654, kHere); });
    EXPECT_STREQ(unknown.textWithIndex(0), "Unable to load text from message file.");
    EXPECT_EQ(unknown.errorId(), 987654u);
}

TEST_F(RaiseTest, KindAboveSevenReturnsWithoutReportOrThrow) {
    EXPECT_NO_THROW(throwLibraryError(4, kHere, static_cast<IExceptionKind>(8)));
    IWindowSystemErrorText text("RegOpenKey");
    EXPECT_NO_THROW(throwErrorText(text, kHere, static_cast<IExceptionKind>(8)));
    EXPECT_NO_THROW(throwErrorText(text, kHere, static_cast<IExceptionKind>(-1)));
    EXPECT_TRUE(capture_.lines.empty());
}

TEST_F(RaiseTest, ThrowErrorTextTakesIdAndTextFromTheErrorText) {
    vrk::platform::setLastError(1018);
    IWindowSystemErrorText text("RegOpenKey");
    IException e = caught([&text] { throwErrorText(text, kHere); });
    EXPECT_EQ(thrownName_, "IAccessError");
    EXPECT_EQ(e.errorId(), 1018u);
    EXPECT_TRUE(e.canRecover());
    EXPECT_STREQ(e.errorCodeGroup(), "Presentation System");
    EXPECT_STREQ(e.textWithIndex(0), "RegOpenKey:No error text is available.");

    IException chosen = caught(
        [&text] { throwErrorText(text, kHere, kDeviceError, false, IException::operatingSystem); });
    EXPECT_EQ(thrownName_, "IDeviceError");
    EXPECT_FALSE(chosen.canRecover());
    EXPECT_STREQ(chosen.errorCodeGroup(), "Operating System");
}

// A system error text raised for a store failure carries the platform's
// wording of the number into the report. Wine words its system texts apart
// from Windows ("Access denied." for "Access is denied."): under Wine the
// cases expect Wine's words.
TEST_F(RaiseTest, SystemErrorTextReportsThePlatformMessage) {
    const bool wine = vrk::platform::runsUnderWine();
    const struct {
        unsigned long id;
        const char* line;
    } cases[] = {
        {5, wine ? "      RegSetValueEx:Access denied." : "      RegSetValueEx:Access is denied."},
        {1009, wine ? "      RegSetValueEx:Registry corrupt."
                    : "      RegSetValueEx:The configuration registry database is corrupt."},
        {424242, "      RegSetValueEx:No error text is available."},
    };
    for (const auto& c : cases) {
        capture_.lines.clear();
        caught([&c] {
            throwErrorText(ISystemErrorText(c.id, "RegSetValueEx"), kHere, kAccessError, true,
                           IException::operatingSystem);
        });
        ASSERT_FALSE(capture_.lines.empty());
        EXPECT_EQ(capture_.lines.back(), c.line) << c.id;
    }
}

}  // namespace
