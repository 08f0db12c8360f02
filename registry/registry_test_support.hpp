// Helpers shared by the registry tests: a temporary store directory removed
// at the end of the test, and small wrappers over the C-style calls.
// The fixture's registry is the platform's scratch store, or on Linux, when
// VRK_TEST_BACKEND is "hive", a hive-file registry: CTest runs the rules'
// cases against both.
// Thread safety: test code, one thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "registry/iregistry.hpp"
#include "tests/support/temp_dir.hpp"
#include "platform/process.hpp"
#include "registry/testing/scratch_registry.hpp"

namespace vrk::reg::testing {

// Where Wine's registry departs from Windows, a test names the case and
// expects Wine's answer from Wine and Windows' answer from every other store.
template <class T>
T windowsOrWine(T windows, T wine) {
    return platform::runsUnderWine() ? wine : windows;
}

using vrk::testing::TempDir;

// A fixture with a scratch store in a temporary directory.
class ScratchStore : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Registry> reg = makeTestRegistry(dir.path());

    // Creates (or opens) a key for reading and writing; fails the test otherwise.
    Key create(Key parent, const char* path, std::uint32_t* disposition = nullptr) {
        Key k = kNullKey;
        long rc = reg->createKeyEx(parent, path, 0, kKeyReadWrite, &k, disposition);
        EXPECT_EQ(rc, kSuccess) << "create " << path;
        return k;
    }
    long open(Key parent, const char* path, Key* out, std::uint32_t access = kKeyReadWrite) {
        return reg->openKeyEx(parent, path, access, out);
    }
    void setText(Key k, const char* name, const std::string& text) {
        ASSERT_EQ(
            reg->setValueEx(k, name, kRegSz, reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<std::uint32_t>(text.size())),
            kSuccess);
    }
    // The value's bytes, or "<error N>".
    std::string bytesOf(Key k, const char* name, std::uint32_t* type = nullptr) {
        std::uint32_t size = 0;
        long rc = reg->queryValueEx(k, name, type, nullptr, &size);
        if (rc != kSuccess) return "<error " + std::to_string(rc) + ">";
        std::string s(size, '\0');
        rc = reg->queryValueEx(k, name, type, reinterpret_cast<unsigned char*>(s.data()), &size);
        if (rc != kSuccess) return "<error " + std::to_string(rc) + ">";
        s.resize(size);
        return s;
    }
    // Every subkey name of k in enumeration order.
    std::vector<std::string> subkeys(Key k) {
        std::vector<std::string> names;
        char buf[300];
        for (std::uint32_t i = 0;; ++i) {
            long rc = reg->enumKey(k, i, buf, sizeof buf);
            if (rc == kNoMoreItems) break;
            EXPECT_EQ(rc, kSuccess);
            if (rc != kSuccess) break;
            names.push_back(buf);
        }
        return names;
    }
    // Every value name of k in enumeration order.
    std::vector<std::string> valueNames(Key k) {
        std::vector<std::string> names;
        char buf[300];
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t n = sizeof buf;
            long rc = reg->enumValue(k, i, buf, &n, nullptr, nullptr, nullptr);
            if (rc == kNoMoreItems) break;
            EXPECT_EQ(rc, kSuccess);
            if (rc != kSuccess) break;
            names.push_back(std::string(buf, n));
        }
        return names;
    }
};

// A scratch store that checks what a handle of a deleted key still does.
class StaleHandles : public ScratchStore {
protected:
    // Every call on k but close fails with kKeyDeleted.
    void expectStale(Key k) {
        std::uint32_t size = 0;
        char buf[16];
        std::uint32_t n = sizeof buf;
        Key out{0x99};
        EXPECT_EQ(reg->queryValueEx(k, "v", nullptr, nullptr, &size), kKeyDeleted);
        EXPECT_EQ(reg->setValueEx(k, "v", kRegSz, nullptr, 0), kKeyDeleted);
        EXPECT_EQ(reg->deleteValue(k, "v"), kKeyDeleted);
        EXPECT_EQ(reg->enumKey(k, 0, buf, sizeof buf), kKeyDeleted);
        EXPECT_EQ(reg->enumValue(k, 0, buf, &n, nullptr, nullptr, nullptr), kKeyDeleted);
        EXPECT_EQ(reg->createKeyEx(k, "under", 0, kKeyReadWrite, &out, nullptr), kKeyDeleted);
        EXPECT_EQ(out, kNullKey);
        EXPECT_EQ(reg->openKeyEx(k, "", kKeyRead, &out), kKeyDeleted);
        EXPECT_EQ(reg->deleteKey(k, "under"), kKeyDeleted);
        EXPECT_EQ(reg->closeKey(k), kSuccess);
    }
};

}  // namespace vrk::reg::testing
