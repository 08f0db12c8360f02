// The test wrappers and the process-wide registry selection.
#include "registry/testing/registry_wrappers.hpp"

#include "platform/process.hpp"
#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;

class Wrappers : public ScratchStore {};

TEST_F(Wrappers, FaultHitsTheNthCallOnceWithoutReachingTheTarget) {
    CountingRegistry target(*reg);
    FaultInjectingRegistry faults(target);
    faults.failCall(RegCall::createKeyEx, 2, kAccessDenied);
    Key k = kNullKey;
    EXPECT_EQ(faults.createKeyEx(kCurrentUser, "a", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    faults.closeKey(k);
    platform::setLastError(0);
    k = Key{77};
    EXPECT_EQ(faults.createKeyEx(kCurrentUser, "b", 0, kKeyReadWrite, &k, nullptr), kAccessDenied);
    EXPECT_EQ(k, kNullKey);
    EXPECT_EQ(platform::lastError(), static_cast<std::uint32_t>(kAccessDenied));
    EXPECT_EQ(target.calls(RegCall::createKeyEx), 1u) << "the failed call stopped short";
    EXPECT_EQ(faults.createKeyEx(kCurrentUser, "c", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    faults.closeKey(k);
    EXPECT_EQ(faults.calls(RegCall::createKeyEx), 3u);
    EXPECT_EQ(subkeys(kCurrentUser), (std::vector<std::string>{"a", "c"}));
}

TEST_F(Wrappers, PersistentFaultKeepsFailingUntilCleared) {
    FaultInjectingRegistry faults(*reg);
    Key k = create(kCurrentUser, "p");
    faults.failCall(RegCall::setValueEx, 1, kRegistryIoFailed, true);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(faults.setValueEx(k, "v", kRegSz, nullptr, 0), kRegistryIoFailed);
    }
    EXPECT_EQ(faults.queryValueEx(k, "v", nullptr, nullptr, nullptr), kFileNotFound)
        << "other kinds pass";
    faults.clearFaults();
    EXPECT_EQ(faults.setValueEx(k, "v", kRegSz, nullptr, 0), kSuccess);
    reg->closeKey(k);
}

TEST_F(Wrappers, FaultsCountFromWhenTheyAreSet) {
    FaultInjectingRegistry faults(*reg);
    Key k = kNullKey;
    for (int i = 0; i < 3; ++i) faults.openKeyEx(kCurrentUser, "none", kKeyRead, &k);
    faults.failCall(RegCall::openKeyEx, 1, kBadDb);
    EXPECT_EQ(faults.openKeyEx(kCurrentUser, "", kKeyRead, &k), kBadDb);
    EXPECT_EQ(faults.openKeyEx(kCurrentUser, "", kKeyRead, &k), kSuccess);
}

TEST_F(Wrappers, EveryKindCanFail) {
    static const RegCall kinds[] = {
        RegCall::createKeyEx, RegCall::openKeyEx,   RegCall::queryValueEx, RegCall::setValueEx,
        RegCall::deleteKey,   RegCall::deleteValue, RegCall::enumKey,      RegCall::enumValue,
        RegCall::closeKey,    RegCall::createKey,   RegCall::openKey,      RegCall::queryValue,
        RegCall::setValue,    RegCall::beginBatch,  RegCall::commitBatch,  RegCall::rollbackBatch,
        RegCall::flushKey};
    Key k = create(kCurrentUser, "all");
    for (RegCall kind : kinds) {
        FaultInjectingRegistry f(*reg);
        f.failCall(kind, 1, 1234);
        Key out = kNullKey;
        char name[8];
        std::uint32_t n = sizeof name;
        std::int32_t size = 0;
        long rc = 0;
        switch (kind) {
        case RegCall::createKeyEx:
            rc = f.createKeyEx(k, "x", 0, kKeyReadWrite, &out, nullptr);
            break;
        case RegCall::openKeyEx: rc = f.openKeyEx(k, "", kKeyRead, &out); break;
        case RegCall::queryValueEx: rc = f.queryValueEx(k, "", nullptr, nullptr, nullptr); break;
        case RegCall::setValueEx: rc = f.setValueEx(k, "", kRegSz, nullptr, 0); break;
        case RegCall::deleteKey: rc = f.deleteKey(k, "x"); break;
        case RegCall::deleteValue: rc = f.deleteValue(k, "x"); break;
        case RegCall::enumKey: rc = f.enumKey(k, 0, name, n); break;
        case RegCall::enumValue: rc = f.enumValue(k, 0, name, &n, nullptr, nullptr, nullptr); break;
        case RegCall::closeKey: rc = f.closeKey(k); break;
        case RegCall::createKey: rc = f.createKey(k, "x", &out); break;
        case RegCall::openKey: rc = f.openKey(k, "", &out); break;
        case RegCall::queryValue: rc = f.queryValue(k, "x", nullptr, &size); break;
        case RegCall::setValue: rc = f.setValue(k, "x", kRegSz, "t", 1); break;
        case RegCall::beginBatch: rc = f.beginBatch(); break;
        case RegCall::commitBatch: rc = f.commitBatch(); break;
        case RegCall::rollbackBatch: rc = f.rollbackBatch(); break;
        case RegCall::flushKey: rc = f.flushKey(k); break;
        case RegCall::count_: break;
        }
        EXPECT_EQ(rc, 1234) << static_cast<int>(kind);
        EXPECT_EQ(f.calls(kind), 1u);
    }
    EXPECT_TRUE(subkeys(k).empty()) << "no failed call reached the store";
    reg->closeKey(k);
}

TEST_F(Wrappers, CountingTracksCallsAndOpenHandles) {
    CountingRegistry counting(*reg);
    Key a = kNullKey;
    Key b = kNullKey;
    Key c = kNullKey;
    ASSERT_EQ(counting.createKeyEx(kCurrentUser, "a", 0, kKeyReadWrite, &a, nullptr), kSuccess);
    ASSERT_EQ(counting.openKeyEx(kCurrentUser, "a", kKeyRead, &b), kSuccess);
    ASSERT_EQ(counting.createKey(kCurrentUser, "c", &c), kSuccess);
    Key missing = kNullKey;
    EXPECT_EQ(counting.openKey(kCurrentUser, "missing", &missing), kFileNotFound);
    Key root = kNullKey;
    ASSERT_EQ(counting.openKeyEx(kCurrentUser, "", kKeyRead, &root), kSuccess);
    EXPECT_EQ(counting.openHandles(), 3u) << "failed opens and roots are not handles";
    counting.closeKey(a);
    counting.closeKey(root);
    EXPECT_EQ(counting.openHandles(), 2u);
    counting.closeKey(b);
    counting.closeKey(c);
    EXPECT_EQ(counting.openHandles(), 0u);
    EXPECT_EQ(counting.calls(RegCall::closeKey), 4u);
    EXPECT_EQ(counting.calls(RegCall::openKeyEx), 2u);
    EXPECT_EQ(counting.calls(RegCall::openKey), 1u);
    EXPECT_EQ(counting.calls(RegCall::createKey), 1u);
    EXPECT_EQ(counting.calls(RegCall::createKeyEx), 1u) << "the legacy form counts as itself";
}

TEST(RegistrySelection, InstalledRegistryReplacesThePlatformOne) {
    testing::TempDir dir;
    auto scratch = makeScratchRegistry(dir.path());
    EXPECT_EQ(&registry(), &platformRegistry());
    setRegistry(scratch.get());
    EXPECT_EQ(&registry(), scratch.get());
    setRegistry(nullptr);
    EXPECT_EQ(&registry(), &platformRegistry());
}

}  // namespace
}  // namespace vrk::reg
