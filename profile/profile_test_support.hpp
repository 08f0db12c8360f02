// Test support for the profile store: a fixture that installs a private
// registry store in a temporary directory, and helpers that look at what the
// store holds through the registry layer directly (bypassing IProfile).
//
// Thread safety: for single-threaded tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "diag/iexc.hpp"
#include "platform/process.hpp"
#include "registry/iregistry.hpp"
#include "registry/testing/scratch_registry.hpp"
#include "tests/support/quiet_reporter.hpp"
#include "tests/support/temp_dir.hpp"
#include "profile/iprofile.hpp"

namespace profiletest {

using vrk::reg::Key;

using vrk::testing::QuietReporter;
using vrk::testing::TempDir;

// What the store holds, seen through the registry layer of a given backend.
class RawStore {
public:
    explicit RawStore(vrk::reg::Registry& registry) : reg_(registry) {}

    // Whether the key path (backslash-separated, below root) exists.
    bool exists(Key root, const std::string& path) const {
        Key key{};
        if (reg_.openKeyEx(root, path.c_str(), vrk::reg::kKeyRead, &key) != vrk::reg::kSuccess)
            return false;
        reg_.closeKey(key);
        return true;
    }

    // The subkey names of the key path, in enumeration order.
    std::vector<std::string> subkeys(Key root, const std::string& path) const {
        std::vector<std::string> names;
        withKey(root, path, [&](Key key) {
            for (std::uint32_t i = 0;; ++i) {
                char name[512] = {};
                if (reg_.enumKey(key, i, name, sizeof name) != vrk::reg::kSuccess) break;
                names.emplace_back(name);
            }
        });
        return names;
    }

    // The value names of the key path, sorted.
    std::vector<std::string> valueNames(Key root, const std::string& path) const {
        std::vector<std::string> names;
        withKey(root, path, [&](Key key) {
            for (std::uint32_t i = 0;; ++i) {
                char name[512] = {};
                std::uint32_t nameSize = sizeof name;
                if (reg_.enumValue(key, i, name, &nameSize, nullptr, nullptr, nullptr) !=
                    vrk::reg::kSuccess)
                    break;
                names.emplace_back(name, nameSize);
            }
        });
        std::sort(names.begin(), names.end());
        return names;
    }

    struct Value {
        std::uint32_t type = 0;
        std::string bytes;
    };
    // The named value of the key path ("" is the unnamed value).
    std::optional<Value> value(Key root, const std::string& path, const char* name) const {
        std::optional<Value> result;
        withKey(root, path, [&](Key key) {
            std::uint32_t size = 0;
            Value v;
            if (reg_.queryValueEx(key, name, &v.type, nullptr, &size) != vrk::reg::kSuccess) return;
            v.bytes.resize(size);
            std::uint32_t got = size;
            if (reg_.queryValueEx(key, name, &v.type,
                                  reinterpret_cast<unsigned char*>(v.bytes.data()),
                                  &got) != vrk::reg::kSuccess)
                return;
            v.bytes.resize(got);
            result = v;
        });
        return result;
    }

    // The text of the unnamed value of the key path, up to its first zero byte.
    std::optional<std::string> unnamedText(Key root, const std::string& path) const {
        auto v = value(root, path, "");
        if (!v) return std::nullopt;
        return std::string(v->bytes.c_str());
    }

    // Creates the key path (and sets a value there when name is given).
    void put(Key root, const std::string& path, const char* name = nullptr,
             std::uint32_t type = vrk::reg::kRegSz, const std::string& bytes = "") {
        Key key{};
        ASSERT_EQ(reg_.createKeyEx(root, path.c_str(), 0, vrk::reg::kKeyReadWrite, &key, nullptr),
                  vrk::reg::kSuccess)
            << path;
        if (name) {
            EXPECT_EQ(reg_.setValueEx(key, name, type,
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<std::uint32_t>(bytes.size())),
                      vrk::reg::kSuccess);
        }
        reg_.closeKey(key);
    }

private:
    void withKey(Key root, const std::string& path, const std::function<void(Key)>& use) const {
        Key key{};
        if (reg_.openKeyEx(root, path.c_str(), vrk::reg::kKeyRead, &key) != vrk::reg::kSuccess)
            return;
        use(key);
        reg_.closeKey(key);
    }

    vrk::reg::Registry& reg_;
};

// Installs a scratch store as the process's registry for one test.
class ProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_ = vrk::reg::makeScratchRegistry(dir_.path());
        vrk::reg::setRegistry(store_.get());
        IException::setReporter(&quiet_);
    }
    void TearDown() override {
        vrk::reg::setRegistry(nullptr);
        IException::setReporter(nullptr);
        vrk::platform::clearForcedLegacyRegistryHost();
    }

    // Installs a wrapper (over the scratch store) as the process's registry.
    void install(vrk::reg::Registry& wrapper) { vrk::reg::setRegistry(&wrapper); }

    vrk::reg::Registry& store() { return *store_; }
    RawStore raw() { return RawStore(*store_); }

    TempDir dir_;
    std::unique_ptr<vrk::reg::Registry> store_;
    QuietReporter quiet_;
};

// What an exception carried, for comparisons in tables.
struct Report {
    std::string name;
    std::string text;    // the first text: the failed check's or call's
    std::string reason;  // the second, when the store explained its failure
    unsigned long errorId = 0;
    std::string group;
    bool recoverable = false;
    std::string file;
    std::string function;
    unsigned long line = 0;
};

inline Report reportOf(const IException& e) {
    Report r;
    r.name = e.name();
    const unsigned texts = e.numberOfTexts();
    r.text = texts > 0 ? e.textWithIndex(texts - 1) : "";
    r.reason = texts > 1 ? e.textWithIndex(texts - 2) : "";
    r.errorId = e.errorId();
    r.group = e.errorCodeGroup() ? e.errorCodeGroup() : "";
    r.recoverable = e.canRecover();
    if (e.numberOfLocations() > 0) {
        const ISourceLocation* where = e.locationWithIndex(e.numberOfLocations() - 1);
        r.file = where->fileName() ? where->fileName() : "";
        r.function = where->functionName() ? where->functionName() : "";
        r.line = where->lineNumber();
    }
    return r;
}

// Runs the action and returns what the IException it raised carried; fails
// the test when it raises nothing.
inline std::optional<Report> raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const IException& e) {
        return reportOf(e);
    }
    ADD_FAILURE() << "no exception was raised";
    return std::nullopt;
}

// An IAccessError report of the profile store.
inline void expectAccessError(const std::optional<Report>& r, const char* call,
                              const char* function, unsigned long line) {
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->name, "IAccessError");
    EXPECT_EQ(r->text, std::string(call) + ":No error text is available.");
    EXPECT_EQ(r->group, "Presentation System");
    EXPECT_TRUE(r->recoverable);
    EXPECT_EQ(r->file, "iprofile");
    EXPECT_EQ(r->function, function);
    EXPECT_EQ(r->line, line);
}

// An IInvalidParameter report of a failed parameter check of the store.
inline void expectParameterError(const std::optional<Report>& r, const char* function,
                                 unsigned long line) {
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->name, "IInvalidParameter");
    EXPECT_EQ(r->errorId, 1u);
    EXPECT_EQ(r->group, "Other Error Group");
    EXPECT_TRUE(r->recoverable);
    EXPECT_EQ(r->file, "iprofile");
    EXPECT_EQ(r->function, function);
    EXPECT_EQ(r->line, line);
}

// Bytes as an IString, and back.
inline IString bytesOf(const std::string& s) {
    return IString(s.data(), static_cast<unsigned>(s.size()));
}
inline std::string stringOf(const IString& s) {
    return std::string(static_cast<const char*>(s), s.length());
}

// The names a cursor walks, first to last.
inline std::vector<std::string> walk(const IProfile& profile, IProfile::Cursor& cursor) {
    std::vector<std::string> names;
    for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext())
        names.push_back(stringOf(profile.applicationOrKeyAt(cursor)));
    return names;
}

}  // namespace profiletest
