// Overflow and index errors of IString: the exception, its error id and
// location, the value left unchanged, and no allocation before the check.
#include "base/ibuffer.hpp"
#include "base/istring.hpp"
#include "diag/iexc.hpp"
#include "tests/support/quiet_reporter.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

// Every allocation of this test program goes through here, so a test can see
// the largest single request made while it ran.
namespace {
std::atomic<std::size_t> gLargestRequest{0};

void* allocate(std::size_t size) {
    std::size_t seen = gLargestRequest.load(std::memory_order_relaxed);
    while (size > seen && !gLargestRequest.compare_exchange_weak(seen, size)) {}
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::string bytes(const IString& s) { return std::string(static_cast<const char*>(s), s.length()); }

using vrk::testing::QuietReporter;

class IStringErrors : public ::testing::Test {
protected:
    void SetUp() override {
        IException::setReporter(&quiet);
        IBuffer::emptyBuffer();  // made on first use; not counted against the tests
    }
    void TearDown() override { IException::setReporter(nullptr); }

    // Runs the operation, which must raise IInvalidRequest; checks the error
    // id and the first location, and that nothing near the size of the
    // requested length was allocated.
    void expectRaise(const std::function<void()>& operation, unsigned long errorId,
                     const char* file, const char* function, unsigned long line,
                     const std::string& label) {
        SCOPED_TRACE(label);
        gLargestRequest = 0;
        unsigned long buffers = IBuffer::allocationCount();
        try {
            operation();
            ADD_FAILURE() << "no exception";
        } catch (const IInvalidRequest& e) {
            EXPECT_EQ(e.errorId(), errorId);
            EXPECT_STREQ(e.name(), "IInvalidRequest");
            EXPECT_TRUE(e.canRecover());
            EXPECT_STREQ(e.errorCodeGroup(), IException::baseLibrary);
            ASSERT_GE(e.numberOfLocations(), 1u);
            const ISourceLocation* where = e.locationWithIndex(0);
            EXPECT_STREQ(where->fileName(), file);
            EXPECT_STREQ(where->functionName(), function);
            EXPECT_EQ(where->lineNumber(), line);
        } catch (...) {
            ADD_FAILURE() << "another exception";
        }
        EXPECT_EQ(IBuffer::allocationCount(), buffers);
        EXPECT_LT(gLargestRequest.load(), std::size_t(1) << 20);
    }

    void expectOverflow(const std::function<void()>& operation, const std::string& label) {
        expectRaise(operation, 51, "ibuffer0", "IBuffer::overflow()", 556, label);
    }

    QuietReporter quiet;
};

}  // namespace

TEST_F(IStringErrors, SectionTooLongLeavesValueUnchanged) {
    IString s("abcd");
    IString copy(s);
    expectOverflow([&] { (void)s.section(1, 4294967295u, ' '); }, "section(1, 4294967295)");
    expectOverflow([&] { (void)s.section(1, IString::maxLength + 1, ' '); }, "section just over");
    expectOverflow([&] { (void)s.section(0, 0u - 1u, '*'); }, "length wrapped below 0");
    EXPECT_EQ(bytes(s), "abcd");
    EXPECT_EQ(IBuffer::fromContents(s), IBuffer::fromContents(copy));
}

TEST_F(IStringErrors, ConstructionTooLong) {
    expectOverflow([] { IString s(nullptr, 4294967295u, ' '); }, "fill of 4294967295");
    expectOverflow([] { IString s(nullptr, IString::maxLength + 1, ' '); }, "fill just over");
}

TEST_F(IStringErrors, ThreePieceSumIsCheckedAfterEachAddition) {
    static const struct {
        unsigned n1, n2, n3;
    } cases[] = {
        {IString::maxLength, 1, 0},
        {0, IString::maxLength, 1},
        {2147483648u, 2147483648u, 0},  // wraps to 0
        {4294967295u, 1, 0},            // wraps to 0
        {1, 4294967295u, 1},
        {2147483648u, 2147483647u, 1},  // wraps to 0 on the last addition
        {0, 0, 4294967295u},
    };
    for (const auto& c : cases) {
        expectOverflow(
            [&] {
                IBuffer* b = IBuffer::emptyBuffer()->buildBuffer(nullptr, c.n1, nullptr, c.n2,
                                                                 nullptr, c.n3, 'x');
                b->removeRef();
            },
            std::to_string(c.n1) + "+" + std::to_string(c.n2) + "+" + std::to_string(c.n3));
    }
}

TEST_F(IStringErrors, ExtendingThroughChangingIndexTooFar) {
    IString s("ab");
    expectOverflow([&] { s[4294967295u] = 'x'; }, "operator[](4294967295u)");
    expectOverflow([&] { s[IString::maxLength + 1] = 'x'; }, "operator[] just over");
    EXPECT_EQ(bytes(s), "ab");
}

TEST_F(IStringErrors, SubstituteGrowthIsGuarded) {
    static const char replacement[] = "r";  // never read: the length check comes first
    static const struct {
        const char* text;
        unsigned replacementLength;
    } cases[] = {
        {"xx", 2147483649u},  // (2^31) * 2 wraps to 0 in 32 bits
        {"xx", 2147483648u},  // 2 + (2^31 - 1) * 2 = 2^32
        {"x", 4294967295u},
        {"xyx", IString::maxLength},
    };
    for (const auto& c : cases) {
        IString s(c.text);
        IString copy(s);
        expectOverflow([&] { s.substitute("x", 1, replacement, c.replacementLength); },
                       std::string(c.text) + " with " + std::to_string(c.replacementLength));
        EXPECT_EQ(bytes(s), c.text);
        EXPECT_EQ(IBuffer::fromContents(s), IBuffer::fromContents(copy));
    }
}

TEST_F(IStringErrors, IndexErrors) {
    IString abc("abc");
    const IString& constAbc = abc;
    const IString empty;
    static const char* const unsignedConst = "IString::operator[](unsigned int) const";
    static const char* const intConst = "IString::operator[](int) const";
    static const char* const intChanging = "IString::operator[](int)";
    static const struct {
        std::function<void(const IString&, IString&)> operation;
        const char* function;
        unsigned long line;
        const char* label;
    } cases[] = {
        {[](const IString& c, IString&) { (void)c[4u]; }, unsignedConst, 130, "const [4u]"},
        {[](const IString& c, IString&) { (void)c[4294967295u]; }, unsignedConst, 130,
         "const [4294967295u]"},
        {[](const IString& c, IString&) { (void)c[-1]; }, intConst, 174, "const [-1]"},
        {[](const IString& c, IString&) { (void)c[INT_MIN]; }, intConst, 174, "const [INT_MIN]"},
        {[](const IString& c, IString&) { (void)c[4]; }, intConst, 184, "const [4]"},
        {[](const IString& c, IString&) { (void)c[INT_MAX]; }, intConst, 184, "const [INT_MAX]"},
        {[](const IString&, IString& m) { m[-1] = 'x'; }, intChanging, 197, "changing [-1]"},
        {[](const IString&, IString& m) { m[INT_MIN] = 'x'; }, intChanging, 197,
         "changing [INT_MIN]"},
    };
    for (const auto& c : cases)
        expectRaise([&] { c.operation(constAbc, abc); }, 52, "istring5", c.function, c.line,
                    c.label);
    EXPECT_EQ(bytes(abc), "abc");

    // Position 0 and 1 address the first byte, which the empty value lacks.
    expectRaise([&] { (void)empty[0u]; }, 52, "istring5", unsignedConst, 130, "empty [0u]");
    expectRaise([&] { (void)empty[1]; }, 52, "istring5", intConst, 184, "empty [1]");
}
