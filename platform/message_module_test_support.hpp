// Test support for the message module: the tests' own module and the
// fixture that finds it. posix/ and windows/ define where this platform's
// default module lies, beside their own cases.
//
// Thread safety: test code, one thread.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/message_module.hpp"

namespace vrk::platform::testing {

// The file name of the default module of that base name, as worked out here
// from the running program's file.
std::string expectedDefaultMessageModulePath(const char* baseName);

// The tests' own module, built from test_messages.msg into the default
// place: set 1 holds 1 "first of set one", 2 "raw %1 stays" and
// 3 "a back\slash"; set 2 holds 1 "first of set two".
class PlatformMessageModule : public ::testing::Test {
protected:
    void SetUp() override {
        char path[4096];
        ASSERT_TRUE(defaultMessageModulePath("vrktestmsg", path, sizeof path));
        module_ = path;
        ASSERT_TRUE(std::filesystem::exists(module_)) << module_;
    }

    std::string module_;
};

}  // namespace vrk::platform::testing
