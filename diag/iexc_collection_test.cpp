// throwIt of the collection precondition classes.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diag/iexc.hpp"
#include "diag/iexc_test_support.hpp"
#include "platform/environment.hpp"

namespace {

using ::testing::ElementsAre;

using CollectionExceptionTest = iexctest::CapturedReportTest<>;

TEST_F(CollectionExceptionTest, UnknownNumberIsReportedTwiceWithItsOwnPlaceLast) {
    try {
        IFullException::throwIt(999, "iseq", 1234);
    } catch (const IPreconditionViolation& e) {
        EXPECT_STREQ(e.name(), "IFullException");
        ASSERT_EQ(e.numberOfTexts(), 1u);
        EXPECT_STREQ(e.textWithIndex(0), "unknown exception text");
        EXPECT_EQ(e.errorId(), 0u);
        EXPECT_FALSE(e.canRecover());
        EXPECT_STREQ(e.errorCodeGroup(), "Norvel Class Library");
        EXPECT_EQ(e.numberOfLocations(), 2u);
        const char* const reportTail[] = {"   Error Id is unavailable.",
                                          "   Error Code group is Norvel Class Library",
                                          "   Exception text is:", "      unknown exception text"};
        EXPECT_THAT(capture_.lines,
                    ElementsAre("IFullException exception thrown.\n"
                                "   function: \n"
                                "   file: iseq\n"
                                "   line: 1234",
                                reportTail[0], reportTail[1], reportTail[2], reportTail[3],
                                "IFullException exception thrown.\n"
                                "   function: IFullException::throwIt(unsigned long,const char*,"
                                "unsigned long)\n"
                                "   file: iexc\n"
                                "   line: 43",
                                reportTail[0], reportTail[1], reportTail[2], reportTail[3]));
        return;
    }
    FAIL() << "nothing thrown";
}

TEST_F(CollectionExceptionTest, EachClassThrowsItselfFromItsOwnLine) {
    using ThrowIt = void (*)(unsigned long, const char*, unsigned long);
    struct Case {
        ThrowIt throwIt;
        const char* name;
        unsigned long line;
    };
    const Case cases[] = {
        {&IPreconditionViolation::throwIt, "IPreconditionViolation", 42},
        {&IFullException::throwIt, "IFullException", 43},
        {&IEmptyException::throwIt, "IEmptyException", 44},
        {&INotEmptyException::throwIt, "INotEmptyException", 45},
        {&INotBoundedException::throwIt, "INotBoundedException", 46},
        {&ICursorInvalidException::throwIt, "ICursorInvalidException", 47},
        {&IPositionInvalidException::throwIt, "IPositionInvalidException", 48},
        {&INotContainsKeyException::throwIt, "INotContainsKeyException", 49},
        {&IKeyAlreadyExistsException::throwIt, "IKeyAlreadyExistsException", 51},
        {&IRootAlreadyExistsException::throwIt, "IRootAlreadyExistsException", 53},
        {&IChildAlreadyExistsException::throwIt, "IChildAlreadyExistsException", 55},
        {&IIdenticalCollectionException::throwIt, "IIdenticalCollectionException", 57},
        {&IInvalidReplacementException::throwIt, "IInvalidReplacementException", 59},
        {&ICyclicAttachException::throwIt, "ICyclicAttachException", 60},
        {&IOutOfCollectionMemory::throwIt, "IOutOfCollectionMemory", 62},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.throwIt(371, "caller", 7);
            ADD_FAILURE() << "nothing thrown";
        } catch (const IException& e) {
            EXPECT_STREQ(e.name(), c.name);
            EXPECT_STREQ(e.textWithIndex(0), "collection is empty");
            ASSERT_EQ(e.numberOfLocations(), 2u);
            EXPECT_STREQ(e.locationWithIndex(0)->fileName(), "caller");
            EXPECT_STREQ(e.locationWithIndex(0)->functionName(), "");
            EXPECT_EQ(e.locationWithIndex(0)->lineNumber(), 7u);
            EXPECT_STREQ(e.locationWithIndex(1)->fileName(), "iexc");
            EXPECT_EQ(std::string(e.locationWithIndex(1)->functionName()),
                      std::string(c.name) + "::throwIt(unsigned long,const char*,unsigned long)");
            EXPECT_EQ(e.locationWithIndex(1)->lineNumber(), c.line);
        }
    }
}

TEST_F(CollectionExceptionTest, OutOfCollectionMemoryIsAnOutOfMemory) {
    EXPECT_THROW(IOutOfCollectionMemory::throwIt(382, "f", 1), IOutOfMemory);
}

TEST_F(CollectionExceptionTest, NumberedTexts) {
    const struct {
        unsigned long number;
        const char* text;
    } cases[] = {
        {370, "child already exists"},
        {371, "collection is empty"},
        {372, "cursor not contained in collection"},
        {373, "cursor not for given collection"},
        {374, "cursor not for this collection"},
        {375, "identical collection"},
        {376, "invalid cursor"},
        {377, "invalid position"},
        {378, "invalid replacement"},
        {379, "key already exists"},
        {380, "key not contained"},
        {381, "collection is unbounded"},
        {382, "out of collection memory"},
        {383, "root already exists"},
        {384, "cyclic child attachment"},
        {369, "unknown exception text"},
        {385, "unknown exception text"},
        {0, "unknown exception text"},
    };
    for (const auto& c : cases) {
        try {
            IPreconditionViolation::throwIt(c.number, "f", 1);
        } catch (const IPreconditionViolation& e) {
            EXPECT_STREQ(e.textWithIndex(0), c.text) << "message " << c.number;
        }
    }
}

// Without a message module the built-in texts stand in.
TEST(CollectionExceptionBuiltInTest, BuiltInTextsWithoutTheModule) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto body = [] {
        vrk::platform::setEnvironmentVariable("TORQA MSGFILE", "/nonexistent/vrk/none.cat");
        int failures = 0;
        const struct {
            unsigned long number;
            const char* text;
        } cases[] = {{370, "child already exists"},
                     {384, "cyclic child attachment"},
                     {999, "unknown exception text"}};
        for (const auto& c : cases) {
            try {
                ICyclicAttachException::throwIt(c.number, "f", 1);
            } catch (const IException& e) {
                if (std::string(e.textWithIndex(0)) != c.text) {
                    fprintf(stderr, "message %lu: got \"%s\"\n", c.number, e.textWithIndex(0));
                    ++failures;
                }
            }
        }
        std::exit(failures == 0 ? 0 : 1);
    };
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
