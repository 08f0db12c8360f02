// Query, export and delete of a chain of keys far deeper than the call stack
// of a recursive walk allows: the walks must hold no stack frame per level.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <sstream>
#include <string>

#include "registry/registry_test_support.hpp"
#include "tool/vrkreg/reg_command.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/vrkreg_test_support.hpp"

namespace vrk::regfile {
namespace {

using vrk::reg::Key;

// A registry holding one chain HKEY_LOCAL_MACHINE\k\k\...\k of depth_ levels
// with no values: level L is open as the handle kBase + L. It stands in for
// a store with keys deeper than a store would create today.
class DeepChainRegistry : public vrk::reg::Registry {
public:
    explicit DeepChainRegistry(unsigned depth) : depth_(depth) {}
    unsigned depth() const { return depth_; }
    long openHandles() const { return open_; }

    long createKeyEx(Key, const char*, std::uint32_t, std::uint32_t, Key*,
                     std::uint32_t*) override {
        return vrk::reg::kAccessDenied;
    }
    long openKeyEx(Key parent, const char* subKey, std::uint32_t, Key* result) override {
        unsigned level = 0;
        if (!levelOf(parent, level)) return vrk::reg::kInvalidHandle;
        for (std::string_view rest = subKey; !rest.empty();) {
            const std::size_t cut = rest.find('\\');
            if (rest.substr(0, cut) != "k") return vrk::reg::kFileNotFound;
            ++level;
            rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        }
        if (level > depth_) return vrk::reg::kFileNotFound;
        ++open_;
        *result = Key{kBase + level};
        return vrk::reg::kSuccess;
    }
    long queryValueEx(Key, const char*, std::uint32_t*, unsigned char*, std::uint32_t*) override {
        return vrk::reg::kFileNotFound;
    }
    long setValueEx(Key, const char*, std::uint32_t, const unsigned char*, std::uint32_t) override {
        return vrk::reg::kAccessDenied;
    }
    long deleteKey(Key key, const char* subKey) override {
        unsigned level = 0;
        if (!levelOf(key, level) || std::string_view(subKey) != "k" || level + 1 > depth_)
            return vrk::reg::kFileNotFound;
        if (level + 1 < depth_) return vrk::reg::kAccessDenied;
        --depth_;
        return vrk::reg::kSuccess;
    }
    long deleteValue(Key, const char*) override { return vrk::reg::kFileNotFound; }
    long enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) override {
        unsigned level = 0;
        if (!levelOf(key, level)) return vrk::reg::kInvalidHandle;
        if (level > depth_) return vrk::reg::kKeyDeleted;
        if (index > 0 || level == depth_) return vrk::reg::kNoMoreItems;
        if (nameSize < 2) return vrk::reg::kMoreData;
        name[0] = 'k';
        name[1] = '\0';
        return vrk::reg::kSuccess;
    }
    long enumValue(Key, std::uint32_t, char*, std::uint32_t*, std::uint32_t*, unsigned char*,
                   std::uint32_t*) override {
        return vrk::reg::kNoMoreItems;
    }
    long closeKey(Key key) override {
        if (!vrk::reg::isRootKey(key)) --open_;
        return vrk::reg::kSuccess;
    }

private:
    static constexpr std::uintptr_t kBase = 0x1000;
    bool levelOf(Key key, unsigned& level) const {
        if (key == vrk::reg::kLocalMachine) {
            level = 0;
            return true;
        }
        if (key.value < kBase) return false;
        level = static_cast<unsigned>(key.value - kBase);
        return true;
    }
    unsigned depth_;
    long open_ = 0;
};

// Runs fn on a thread with a 256 KiB stack, where a walk that takes a
// stack frame per level of a few thousand levels overflows.
void onSmallStack(const std::function<void()>& fn) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&fn)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

constexpr unsigned kDepth = 3000;

struct Ran {
    int status = -1;
    std::string out, err;
};

Ran runDeep(DeepChainRegistry& reg, const std::vector<std::string>& args) {
    Ran r;
    onSmallStack([&] {
        std::ostringstream out, err;
        r.status = runRegCommand(args, reg, out, err);
        r.out = out.str();
        r.err = err.str();
    });
    return r;
}

TEST(DeepTree, QueryWalksEveryLevel) {
    DeepChainRegistry reg(kDepth);
    const Ran r = runDeep(reg, {"query", "HKLM\\k", "/s"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string deepest = "HKEY_LOCAL_MACHINE";
    for (unsigned i = 0; i < kDepth; ++i) deepest += "\\k";
    EXPECT_NE(r.out.find("\n" + deepest + "\n"), std::string::npos);
    EXPECT_EQ(reg.openHandles(), 0);
}

TEST(DeepTree, ExportWritesEveryLevel) {
    vrk::reg::testing::TempDir dir;
    DeepChainRegistry reg(kDepth);
    const Ran r = runDeep(reg, {"export", "HKLM\\k", dir.file("deep.reg")});
    ASSERT_EQ(r.status, 0) << r.err;
    const ParseResult parsed = parseRegFile(testing::readFile(dir.file("deep.reg")));
    // The reader stops at the registry's depth limit; what it read before is the chain.
    EXPECT_EQ(parsed.errorLine, 2 * (vrk::reg::kMaxKeyDepth + 1) + 1u) << parsed.error;
    EXPECT_EQ(reg.openHandles(), 0);
}

TEST(DeepTree, DeleteRemovesEveryLevel) {
    DeepChainRegistry reg(kDepth);
    const Ran r = runDeep(reg, {"delete", "HKLM\\k", "/f"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(reg.depth(), 0u);
    EXPECT_EQ(reg.openHandles(), 0);
}

}  // namespace
}  // namespace vrk::regfile
