// In-process test support for the vrkini steps: a scratch store in a
// temporary directory installed as the process's registry behind a counting
// and a fault-injecting wrapper, tracing switched on to standard output
// without the prefix, and standard output captured.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/environment.hpp"
#include "platform/process.hpp"
#include "registry/testing/registry_wrappers.hpp"
#include "registry/testing/scratch_registry.hpp"
#include "profile/iprofile.hpp"

namespace vrk::test {

class StepsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Read once, at the first trace operation of this process.
        vrk::platform::setEnvironmentVariable("TORQA TRACE", "NOPREFIX");
        vrk::platform::setEnvironmentVariable("TORQA TRACETO", "STDOUT");
        vrk::platform::unsetEnvironmentVariable("TORQA MSGFILE");
        dir_ = (std::filesystem::temp_directory_path() /
                ("vrkini-steps-" + std::to_string(vrk::platform::currentProcessId())))
                   .string();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        store_ = vrk::reg::makeScratchRegistry(dir_);
        counting_ = std::make_unique<vrk::reg::CountingRegistry>(*store_);
        faults_ = std::make_unique<vrk::reg::FaultInjectingRegistry>(*counting_);
        vrk::reg::setRegistry(faults_.get());
    }
    void TearDown() override {
        vrk::reg::setRegistry(nullptr);
        faults_.reset();
        counting_.reset();
        store_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Writes an entry of "SV.INI" (creating the profile).
    void put(const char* application, const char* key, const IString& value) {
        IProfile("SV.INI").addOrReplaceElementWithKey(key, value, application);
    }
    bool has(const char* application, const char* key) {
        return IProfile::localMachineProfile().containsApplication("SV.INI") &&
               IProfile("SV.INI").containsKey(key, application);
    }
    std::string get(const char* application, const char* key) {
        const IString v = IProfile("SV.INI").elementWithKey(key, application);
        return std::string(static_cast<const char*>(v), v.length());
    }

    static void startCapture() { ::testing::internal::CaptureStdout(); }
    static std::vector<std::string> stopCapture() {
        const std::string text = ::testing::internal::GetCapturedStdout();
        std::vector<std::string> lines;
        std::string::size_type start = 0;
        while (start < text.size()) {
            auto end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    static bool hasLineStartingWith(const std::vector<std::string>& lines, const std::string& p) {
        for (const std::string& l : lines)
            if (l.rfind(p, 0) == 0) return true;
        return false;
    }

    std::string dir_;
    std::unique_ptr<vrk::reg::Registry> store_;
    std::unique_ptr<vrk::reg::CountingRegistry> counting_;
    std::unique_ptr<vrk::reg::FaultInjectingRegistry> faults_;
};

}  // namespace vrk::test
