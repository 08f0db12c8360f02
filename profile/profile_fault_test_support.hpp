// Test support for the profile store's failure tests: the scratch store
// behind a wrapper that makes chosen registry calls fail.
//
// Thread safety: for single-threaded tests.
#pragma once

#include <memory>
#include <string>

#include "registry/testing/registry_wrappers.hpp"
#include "profile/profile_test_support.hpp"

namespace profiletest {

// The key of application "App" of the profile "SV.INI", below
// HKEY_LOCAL_MACHINE.
inline const std::string kApp = "Software\\SV.INI\\App";

// The error an injected fault answers: ERROR_REGISTRY_IO_FAILED.
inline constexpr long kInjected = 1016;

// The process's registry is faults_, a FaultInjectingRegistry over the
// scratch store; it makes no call fail until a test says which.
class FaultyStoreTest : public ProfileStoreTest {
protected:
    void SetUp() override {
        ProfileStoreTest::SetUp();
        faults_ = std::make_unique<vrk::reg::FaultInjectingRegistry>(store());
        install(*faults_);
    }

    // Freed with the fixture, before the store it wraps.
    std::unique_ptr<vrk::reg::FaultInjectingRegistry> faults_;
};

}  // namespace profiletest
