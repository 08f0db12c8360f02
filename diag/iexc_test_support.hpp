// Test support for the exception tests: a reporter that keeps the lines of
// every report, and a fixture that installs it for the length of a test.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diag/iexc.hpp"

namespace iexctest {

// Keeps every report line instead of writing it.
class CapturingReporter : public IExceptionReporter {
public:
    void writeLine(const char* text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

// Installs a Reporter as the exception reporter for one test and puts the
// previous one back afterwards.
template <class Reporter = CapturingReporter>
class CapturedReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = &IException::reporter();
        IException::setReporter(&capture_);
    }
    void TearDown() override { IException::setReporter(previous_); }
    Reporter capture_;
    IExceptionReporter* previous_ = nullptr;
};

}  // namespace iexctest
