// IException as an object: texts, locations, id, group, copies, names and
// the class tree.
#include <cstring>
#include <string>
#include <typeinfo>

#include <gtest/gtest.h>

#include "diag/iexc.hpp"

TEST(IExceptionTest, ConstructionSetsTextIdFlagAndDefaultGroup) {
    IException e("first", 17, false);
    EXPECT_EQ(e.numberOfTexts(), 1u);
    EXPECT_STREQ(e.textWithIndex(0), "first");
    EXPECT_EQ(e.errorId(), 17u);
    EXPECT_FALSE(e.canRecover());
    EXPECT_STREQ(e.errorCodeGroup(), "Norvel Class Library");
    EXPECT_EQ(e.numberOfLocations(), 0u);
    EXPECT_EQ(e.locationWithIndex(0), nullptr);

    IException defaults(nullptr);
    EXPECT_EQ(defaults.numberOfTexts(), 0u);
    EXPECT_EQ(defaults.textWithIndex(0), nullptr);
    EXPECT_EQ(defaults.errorId(), 0u);
    EXPECT_TRUE(defaults.canRecover());
}

TEST(IExceptionTest, GroupTexts) {
    EXPECT_STREQ(IException::baseLibrary, "Norvel Class Library");
    EXPECT_STREQ(IException::CLibrary, "Standard C Library");
    EXPECT_STREQ(IException::operatingSystem, "Operating System");
    EXPECT_STREQ(IException::presentationSystem, "Presentation System");
    EXPECT_STREQ(IException::other, "Other Error Group");
}

TEST(IExceptionTest, TextIsCopiedNotReferenced) {
    char text[] = "original";
    IException e(text);
    std::strcpy(text, "changed!");
    EXPECT_STREQ(e.textWithIndex(0), "original");
}

TEST(IExceptionTest, PushedTextsStackNewestFirst) {
    IException e(nullptr);
    e.pushText("a");
    e.pushText(nullptr);  // no change
    e.pushText("b");
    ASSERT_EQ(e.numberOfTexts(), 2u);
    EXPECT_STREQ(e.textWithIndex(0), "b");
    EXPECT_STREQ(e.textWithIndex(1), "a");
    EXPECT_EQ(e.textWithIndex(2), nullptr);
}

TEST(IExceptionTest, ManyTextsKeepTheirOrder) {
    IException e(nullptr);
    for (int i = 0; i < 40; ++i) e.pushText(std::to_string(i).c_str());
    ASSERT_EQ(e.numberOfTexts(), 40u);
    for (unsigned i = 0; i < 40; ++i) {
        EXPECT_EQ(std::string(e.textWithIndex(i)), std::to_string(39 - i));
    }
}

TEST(IExceptionTest, ExtendTextJoinsToNewestWithoutSeparator) {
    IException e(nullptr);
    e.extendText("alone");  // no text yet: acts as pushText
    ASSERT_EQ(e.numberOfTexts(), 1u);
    EXPECT_STREQ(e.textWithIndex(0), "alone");

    e.pushText("new");
    e.extendText("er");
    e.extendText(nullptr);
    e.extendText("");
    ASSERT_EQ(e.numberOfTexts(), 2u);
    EXPECT_STREQ(e.textWithIndex(0), "newer");
    EXPECT_STREQ(e.textWithIndex(1), "alone");
}

TEST(IExceptionTest, SettersChangeIdAndGroup) {
    IException e("x");
    e.setErrorId(99).setErrorCodeGroup(IException::operatingSystem);
    EXPECT_EQ(e.errorId(), 99u);
    EXPECT_STREQ(e.errorCodeGroup(), "Operating System");
    e.setErrorCodeGroup(nullptr);
    EXPECT_EQ(e.errorCodeGroup(), nullptr);
}

TEST(IExceptionTest, LocationsKeptInOrderAndSixthReplacesFifth) {
    IException e("x");
    const char* functions[] = {"f1", "f2", "f3", "f4", "f5", "f6", "f7"};
    for (unsigned i = 0; i < 7; ++i) {
        e.recordLocation(ISourceLocation("file", functions[i], 100 + i));
        EXPECT_EQ(e.numberOfLocations(), i < 5 ? i + 1 : 5u) << "after location " << i + 1;
    }
    for (unsigned i = 0; i < 4; ++i) {
        ASSERT_NE(e.locationWithIndex(i), nullptr);
        EXPECT_STREQ(e.locationWithIndex(i)->functionName(), functions[i]);
        EXPECT_EQ(e.locationWithIndex(i)->lineNumber(), 100u + i);
    }
    EXPECT_STREQ(e.locationWithIndex(4)->functionName(), "f7");
    EXPECT_EQ(e.locationWithIndex(5), nullptr);
}

TEST(IExceptionTest, SourceLocationDefaultsAreEmpty) {
    ISourceLocation none;
    EXPECT_EQ(none.fileName(), nullptr);
    EXPECT_EQ(none.functionName(), nullptr);
    EXPECT_EQ(none.lineNumber(), 0u);
    ISourceLocation at("iprofile", "IProfile::f()", 12);
    EXPECT_STREQ(at.fileName(), "iprofile");
    EXPECT_STREQ(at.functionName(), "IProfile::f()");
    EXPECT_EQ(at.lineNumber(), 12u);
}

TEST(IExceptionTest, CopyIsDeep) {
    IInvalidRequest original("one", 5, false);
    original.pushText("two");
    original.setErrorCodeGroup(IException::CLibrary);
    original.recordLocation(ISourceLocation("f", "g()", 3));

    IInvalidRequest copy(original);
    original.extendText("-more");
    original.recordLocation(ISourceLocation("f", "h()", 4));
    original.setErrorId(6);

    EXPECT_STREQ(copy.name(), "IInvalidRequest");
    EXPECT_EQ(copy.numberOfTexts(), 2u);
    EXPECT_STREQ(copy.textWithIndex(0), "two");
    EXPECT_STREQ(copy.textWithIndex(1), "one");
    EXPECT_NE(copy.textWithIndex(1), original.textWithIndex(1));
    EXPECT_EQ(copy.errorId(), 5u);
    EXPECT_FALSE(copy.canRecover());
    EXPECT_STREQ(copy.errorCodeGroup(), "Standard C Library");
    ASSERT_EQ(copy.numberOfLocations(), 1u);
    EXPECT_STREQ(copy.locationWithIndex(0)->functionName(), "g()");
}

TEST(IExceptionTest, AssignmentReplacesEverything) {
    IException target("old text", 1);
    target.pushText("older?");
    IException source("new text", 2, false);
    source.recordLocation(ISourceLocation("a", "b()", 9));
    target = source;
    EXPECT_EQ(target.numberOfTexts(), 1u);
    EXPECT_STREQ(target.textWithIndex(0), "new text");
    EXPECT_EQ(target.errorId(), 2u);
    EXPECT_FALSE(target.canRecover());
    EXPECT_EQ(target.numberOfLocations(), 1u);
    target = target;  // self-assignment keeps the texts
    EXPECT_STREQ(target.textWithIndex(0), "new text");
}

TEST(IExceptionTest, EveryClassNamesItself) {
    struct Case {
        const char* expected;
        IException* exception;
    };
    IAccessError a(0);
    IAssertionFailure b(0);
    IDeviceError c(0);
    IInvalidParameter d(0);
    IInvalidRequest e(0);
    IResourceExhausted f(0);
    IPreconditionViolation g(0);
    IOutOfMemory h(0);
    IOutOfSystemResource i(0);
    IOutOfWindowResource j(0);
    IOutOfCollectionMemory k(0);
    IFullException l(0);
    IEmptyException m(0);
    INotEmptyException n(0);
    INotBoundedException o(0);
    ICursorInvalidException p(0);
    IPositionInvalidException q(0);
    INotContainsKeyException r(0);
    IKeyAlreadyExistsException s(0);
    IRootAlreadyExistsException t(0);
    IChildAlreadyExistsException u(0);
    IIdenticalCollectionException v(0);
    IInvalidReplacementException w(0);
    ICyclicAttachException x(0);
    INotBoundedExceptionImpl y(0);
    INotContainsKeyExceptionImpl z(0);
    IIdenticalCollectionExceptionImpl aa(0);
    IOutOfCollectionMemoryImpl bb(0);
    IException base(0);
    const Case cases[] = {
        {"IException", &base},
        {"IAccessError", &a},
        {"IAssertionFailure", &b},
        {"IDeviceError", &c},
        {"IInvalidParameter", &d},
        {"IInvalidRequest", &e},
        {"IResourceExhausted", &f},
        {"IPreconditionViolation", &g},
        {"IOutOfMemory", &h},
        {"IOutOfSystemResource", &i},
        {"IOutOfWindowResource", &j},
        {"IOutOfCollectionMemory", &k},
        {"IFullException", &l},
        {"IEmptyException", &m},
        {"INotEmptyException", &n},
        {"INotBoundedException", &o},
        {"ICursorInvalidException", &p},
        {"IPositionInvalidException", &q},
        {"INotContainsKeyException", &r},
        {"IKeyAlreadyExistsException", &s},
        {"IRootAlreadyExistsException", &t},
        {"IChildAlreadyExistsException", &u},
        {"IIdenticalCollectionException", &v},
        {"IInvalidReplacementException", &w},
        {"ICyclicAttachException", &x},
        {"INotBoundedExceptionImpl", &y},
        {"INotContainsKeyExceptionImpl", &z},
        {"IIdenticalCollectionExceptionImpl", &aa},
        {"IOutOfCollectionMemoryImpl", &bb},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.exception->name(), c.expected);
        EXPECT_STREQ(c.exception->errorCodeGroup(), "Norvel Class Library") << c.expected;
    }
}

TEST(IExceptionTest, HandlersForBaseClassesCatchDerivedOnes) {
    try {
        throw IOutOfCollectionMemoryImpl("deep", 3);
    } catch (const IResourceExhausted& e) {
        EXPECT_NE(dynamic_cast<const IOutOfMemory*>(&e), nullptr);
        EXPECT_NE(dynamic_cast<const IOutOfCollectionMemory*>(&e), nullptr);
        EXPECT_STREQ(e.textWithIndex(0), "deep");
    }
    try {
        throw INotContainsKeyExceptionImpl("k");
    } catch (const IPreconditionViolation& e) {
        EXPECT_NE(dynamic_cast<const INotContainsKeyException*>(&e), nullptr);
    }
    try {
        throw IOutOfWindowResource("w");
    } catch (const IException& e) {
        EXPECT_NE(dynamic_cast<const IResourceExhausted*>(&e), nullptr);
        EXPECT_EQ(dynamic_cast<const IOutOfMemory*>(&e), nullptr);
    }
}
