// Helpers shared by the registry tests: a temporary store directory removed
// at the end of the test, and small wrappers over the C-style calls.
// The fixture's registry is the platform's scratch store, or on Linux, when
// VRK_TEST_BACKEND is "hive", a hive-file registry: CTest runs the rules'
// cases against both.
// Thread safety: test code, one thread.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/iregistry.hpp"
#include "platform/registry/scratch_registry.hpp"
#ifndef _WIN32
#include "platform/registry/hive/hive_registry.hpp"
#endif

namespace vrk::reg::testing {

// A fresh directory below the system's temporary directory.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vrkreg.XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        const char* made = ::mkdtemp(buf.data());
        if (made == nullptr) std::abort();
        path_ = made;
    }
    ~TempDir() {
        std::error_code ec;
        // Restore permissions a test may have taken away, then remove.
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec)) {
            ::chmod(e.path().c_str(), 0700);
        }
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The registry the rules' cases run against, kept in directory.
inline std::unique_ptr<Registry> makeTestRegistry(const std::string& directory) {
#ifndef _WIN32
    const char* backend = std::getenv("VRK_TEST_BACKEND");
    if (backend != nullptr && std::string(backend) == "hive") {
        return hive::makeHiveScratchRegistry(directory);
    }
#endif
    return makeScratchRegistry(directory);
}

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
        ASSERT_EQ(reg->setValueEx(k, name, kRegSz,
                                  reinterpret_cast<const unsigned char*>(text.data()),
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

}  // namespace vrk::reg::testing
