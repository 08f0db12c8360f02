// The legacy layout's element delete removes a whole subtree. Its walk keeps
// the path on the heap: a chain far deeper than any stack could recurse
// through is deleted on a thread with a small stack. The chain is simulated
// by a registry that makes it up below one key name, so its depth is not
// bounded by the store's own limit.
#include <pthread.h>

#include <cstring>
#include <functional>
#include <string>

#include "registry/testing/registry_wrappers.hpp"
#include "profile/profile_test_support.hpp"

namespace {

using namespace profiletest;
using vrk::reg::ForwardingRegistry;
using vrk::reg::Key;
using vrk::reg::kLocalMachine;

constexpr std::uint32_t kDepth = 100000;

// Forwards to the store, except below the key `top` of any parent: there a
// chain of kDepth keys, each with the one subkey "L", exists until deleted
// from the deepest up. Handles of the chain are made-up numbers.
class DeepChainRegistry : public ForwardingRegistry {
public:
    DeepChainRegistry(Registry& target, std::string top) : ForwardingRegistry(target), top_(top) {}

    std::uint32_t remaining() const { return remaining_; }  // levels still there
    std::uint32_t openHandles() const { return open_; }

    long openKey(Key parent, const char* subKey, Key* result) override {
        if (std::uint32_t level = levelOf(parent)) {
            if (std::string(subKey) != "L" || level >= remaining_) return vrk::reg::kFileNotFound;
            return give(level + 1, result);
        }
        if (subKey == top_ && remaining_ > 0) return give(1, result);
        return ForwardingRegistry::openKey(parent, subKey, result);
    }
    long enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) override {
        if (std::uint32_t level = levelOf(key)) {
            if (index > 0 || level >= remaining_) return vrk::reg::kNoMoreItems;
            if (nameSize < 2) return vrk::reg::kMoreData;
            std::strcpy(name, "L");
            return vrk::reg::kSuccess;
        }
        return ForwardingRegistry::enumKey(key, index, name, nameSize);
    }
    long deleteKey(Key key, const char* subKey) override {
        if (std::uint32_t level = levelOf(key)) {
            // Only the deepest key may go: RegDeleteKey refuses a key with subkeys.
            if (level + 1 != remaining_) return vrk::reg::kAccessDenied;
            remaining_ = level;
            return vrk::reg::kSuccess;
        }
        if (subKey == top_ && remaining_ > 0) {
            if (remaining_ != 1) return vrk::reg::kAccessDenied;
            remaining_ = 0;
        }
        return ForwardingRegistry::deleteKey(key, subKey);
    }
    long closeKey(Key key) override {
        if (levelOf(key)) {
            --open_;
            return vrk::reg::kSuccess;
        }
        return ForwardingRegistry::closeKey(key);
    }

private:
    static constexpr std::uintptr_t kBase = std::uintptr_t(1)
                                            << 24;  // fits 32 bits, far from the roots
    static std::uint32_t levelOf(Key key) {
        return key.value > kBase && key.value <= kBase + kDepth
                   ? static_cast<std::uint32_t>(key.value - kBase)
                   : 0;
    }
    long give(std::uint32_t level, Key* result) {
        ++open_;
        *result = Key{kBase + level};
        return vrk::reg::kSuccess;
    }

    std::string top_;
    std::uint32_t remaining_ = kDepth;
    std::uint32_t open_ = 0;
};

// Runs work on a thread whose stack is far too small for a recursion over
// the chain (a few bytes per level would already need more).
void onSmallStack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
    pthread_t thread;
    auto run = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

class DeepTreeTest : public ProfileStoreTest {
protected:
    void SetUp() override {
        ProfileStoreTest::SetUp();
        vrk::platform::forceLegacyRegistryHost(true);
    }
};

TEST_F(DeepTreeTest, LegacyElementDeleteWalksAnyDepthWithoutRecursion) {
    DeepChainRegistry chain(store(), "Deep");
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("Other", IString("v"), "App");
    install(chain);
    bool raisedSomething = false;
    onSmallStack([&] {
        try {
            profile.deleteElementWithKey("Deep", "App");
        } catch (...) {
            raisedSomething = true;
        }
    });
    EXPECT_FALSE(raisedSomething);
    EXPECT_EQ(chain.remaining(), 0u);
    EXPECT_EQ(chain.openHandles(), 0u);
    EXPECT_TRUE(profile.containsKey("Other", "App"));
}

TEST_F(DeepTreeTest, LegacyRemoveProfileWalksAnyDepthWithoutRecursion) {
    DeepChainRegistry chain(store(), "Deep.INI");
    install(chain);
    bool raisedSomething = false;
    onSmallStack([&] {
        try {
            IProfile::removeProfile("Deep.INI");
        } catch (...) {
            raisedSomething = true;
        }
    });
    EXPECT_FALSE(raisedSomething);
    EXPECT_EQ(chain.remaining(), 0u);
    EXPECT_EQ(chain.openHandles(), 0u);
    EXPECT_FALSE(raw().exists(kLocalMachine, "Software\\Deep.INI"));
}

// A subtree the store refuses to delete half-way fails the delete, and
// what was deleted before is put back (one change of the store).
TEST_F(DeepTreeTest, LegacyTreeDeleteRefusedHalfWayFailsAndKeepsTheElement) {
    if (!vrk::reg::platformRegistryHasBatches())
        GTEST_SKIP() << "the old element stays whole only through an all-or-nothing batch; "
                        "the Windows registry has none";
    vrk::reg::FaultInjectingRegistry faults(store());  // outlives the profile
    IProfile profile("SV.INI");
    profile.addOrReplaceElementWithKey("K", IString("value"), "App");
    install(faults);
    faults.failCall(vrk::reg::RegCall::deleteKey, 2, 1016);
    auto r = raised([&] { profile.deleteElementWithKey("K", "App"); });
    faults.clearFaults();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->text, "RegDeleteKey:No error text is available.");
    EXPECT_EQ(r->errorId, 1016u);
    EXPECT_EQ(stringOf(profile.elementWithKey("K", "App")), "value");
}

}  // namespace
