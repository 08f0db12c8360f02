// Helpers shared by the registry command's tests: a scratch store in a
// temporary directory, the command run in-process, and a snapshot of the
// whole store to show that a failed command changed nothing.
// Thread safety: test code, one thread.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "registry/registry_test_support.hpp"
#include "registry/testing/registry_wrappers.hpp"
#include "tool/vrkreg/reg_access.hpp"
#include "tool/vrkreg/reg_command.hpp"
#include "tool/vrkreg/regfile_writer.hpp"

namespace vrk::regfile::testing {

// Every key of the four roots with its values, as an export would list it.
inline std::vector<KeyBlock> snapshot(vrk::reg::Registry& reg) {
    std::vector<KeyBlock> all;
    for (vrk::reg::Key root : {vrk::reg::kLocalMachine, vrk::reg::kCurrentUser, vrk::reg::kUsers,
                               vrk::reg::kClassesRoot}) {
        for (KeyBlock& b : readTree(reg, KeyPath{root, ""})) all.push_back(std::move(b));
    }
    return all;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A scratch store seen through a counting wrapper (to find leaked handles)
// over a fault-injecting one (to make chosen calls fail).
class CommandTest : public ::testing::Test {
protected:
    vrk::reg::testing::TempDir dir;
    std::unique_ptr<vrk::reg::Registry> store =
        vrk::reg::makeScratchRegistry(dir.path() + "/store");
    vrk::reg::FaultInjectingRegistry faults{*store};
    vrk::reg::CountingRegistry reg{faults};
    std::string out;
    std::string err;

    // Runs a command line; its output lands in out and err.
    int run(const std::vector<std::string>& args) {
        std::ostringstream o, e;
        const int status = runRegCommand(args, reg, o, e);
        out = o.str();
        err = e.str();
        EXPECT_EQ(reg.openHandles(), 0u) << "handles left open by the command";
        return status;
    }

    // Runs a command that must succeed.
    void ok(const std::vector<std::string>& args) {
        const int status = run(args);
        ASSERT_EQ(status, 0) << err;
    }

    // Text as add and import store it: with its terminating zero.
    static std::string sz(const std::string& text) { return text + std::string(1, '\0'); }

    // The bytes and type of a value, or "<error N>".
    std::string valueOf(const std::string& key, const std::string& name,
                        std::uint32_t* type = nullptr) {
        vrk::reg::Key k = vrk::reg::kNullKey;
        long rc = store->openKeyEx(vrk::reg::kLocalMachine, key.c_str(), vrk::reg::kKeyRead, &k);
        if (rc != vrk::reg::kSuccess) return "<error " + std::to_string(rc) + ">";
        std::uint32_t size = 0;
        rc = store->queryValueEx(k, name.c_str(), type, nullptr, &size);
        std::string data(size, '\0');
        if (rc == vrk::reg::kSuccess && size)
            rc = store->queryValueEx(k, name.c_str(), type,
                                     reinterpret_cast<unsigned char*>(data.data()), &size);
        store->closeKey(k);
        if (rc != vrk::reg::kSuccess) return "<error " + std::to_string(rc) + ">";
        return data;
    }

    bool keyExists(vrk::reg::Key root, const std::string& key) {
        vrk::reg::Key k = vrk::reg::kNullKey;
        if (store->openKeyEx(root, key.c_str(), vrk::reg::kKeyRead, &k) != vrk::reg::kSuccess)
            return false;
        store->closeKey(k);
        return true;
    }

    std::string path(const std::string& name) const { return dir.file(name); }
};

}  // namespace vrk::regfile::testing
