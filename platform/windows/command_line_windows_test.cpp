// Arguments of a char program on Windows, compared with the wide command
// line.
#include "platform/command_line.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <windows.h>

#include "platform/windows/child_run_test_support.hpp"

namespace {

using vrk::platform::commandLineArgumentIsExact;

TEST(CommandLineWindows, ArgumentsAsGivenAreExact) {
    ASSERT_GE(__argc, 1);
    for (int i = 0; i < __argc; ++i)
        EXPECT_TRUE(commandLineArgumentIsExact(i, __argv[i])) << i << " [" << __argv[i] << "]";
    const std::string changed = std::string(__argv[0]) + "x";
    EXPECT_FALSE(commandLineArgumentIsExact(0, changed.c_str()));
    EXPECT_FALSE(commandLineArgumentIsExact(__argc, ""));
    EXPECT_FALSE(commandLineArgumentIsExact(-1, __argv[0]));
    EXPECT_FALSE(commandLineArgumentIsExact(0, nullptr));
}

// The child gets, after its filter, a word that every code page holds and
// one of Cyrillic and Greek letters, which no ANSI code page holds both of.
const wchar_t* const kWords[] = {L"plain", L"C:\\Жжжж-λ"};

TEST(CommandLineWindows, CharactersOutsideTheCodePageMakeAnArgumentInexact) {
    if (vrk::platform::testing::isChildRun()) {
        ASSERT_GE(__argc, 4);
        const int first = __argc - 2;
        EXPECT_TRUE(commandLineArgumentIsExact(first, __argv[first])) << __argv[first];
        EXPECT_FALSE(commandLineArgumentIsExact(first + 1, __argv[first + 1])) << __argv[first + 1];
        vrk::platform::testing::endChildRun();
    }
    std::wstring arguments;
    for (const wchar_t* word : kWords) {
        if (!arguments.empty()) arguments += L" ";
        arguments += word;
    }
    ASSERT_TRUE(vrk::platform::testing::lacksInAnsiCodePage(kWords[1])) << "code page " << GetACP();
    EXPECT_EQ(
        vrk::platform::testing::runTestAgain(vrk::platform::testing::programFileW(), arguments),
        vrk::platform::testing::kChildPassed);
}

}  // namespace
