// Test support on Windows: the running test run again in a child process
// whose command line and program folder are wide text, for cases that only
// a process started that way can show (arguments and folder names outside
// the ANSI code page). The child sees kChildVariable set to "1" and runs the
// same test only; the test body checks isChildRun() to tell the two apart.
//
// Thread safety: test code, one thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

namespace vrk::platform::testing {

inline const wchar_t kChildVariable[] = L"VRK_TEST_CHILD_RUN";

inline constexpr int kChildPassed = 77;

inline bool isChildRun() {
    const char* value = std::getenv("VRK_TEST_CHILD_RUN");
    return value != nullptr && std::string(value) == "1";
}

// Ends the child run at once: kChildPassed when the test has not failed.
[[noreturn]] inline void endChildRun() {
    std::fflush(stdout);
    std::fflush(stderr);
    ExitProcess(::testing::Test::HasFailure() ? 1 : kChildPassed);
}

// The running program's file.
inline std::wstring programFileW() {
    wchar_t exe[32768];
    const DWORD n = GetModuleFileNameW(nullptr, exe, 32768);
    return std::wstring(exe, n < 32768 ? n : 0);
}

// True when text cannot be written in the ANSI code page exactly.
inline bool lacksInAnsiCodePage(const std::wstring& text) {
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0,
                                      nullptr, &usedDefault);
    return n == 0 || usedDefault;
}

// Runs program (a wide path) with the current test as filter, then
// arguments, in a child process with kChildVariable set; returns its exit
// status, or -1 when it could not be started.
inline int runTestAgain(const std::wstring& program, const std::wstring& arguments) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring commandLine = L"\"" + program + L"\" --gtest_filter=" +
                               std::wstring(filter.begin(), filter.end()) + L" " + arguments;
    SetEnvironmentVariableW(kChildVariable, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, 0, nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    if (!started) return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return static_cast<int>(status);
}

}  // namespace vrk::platform::testing
