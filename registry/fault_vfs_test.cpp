// The fault-injecting test VFS below the SQLite store: its plans, and a
// store call that meets a failing file operation.
#include "registry/testing/fault_vfs.hpp"

#include <string>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using faultvfs::Plan;

TEST(FaultVfsPlan, ReadsEveryWordAndRefusesOthers) {
    static const struct {
        const char* text;
        bool ok;
        std::uint64_t at;
        unsigned operations;
        bool full;
        bool persistent;
        const char* log;
    } cases[] = {
        {"", true, 0, faultvfs::kAllOperations, false, false, ""},
        {"at=17", true, 17, faultvfs::kAllOperations, false, false, ""},
        {"at=3 ops=write,sync full persistent log=/tmp/l", true, 3,
         faultvfs::kWrite | faultvfs::kSync, true, true, "/tmp/l"},
        {"ops=read,lock,open", true, 0, faultvfs::kRead | faultvfs::kLock | faultvfs::kOpen, false,
         false, ""},
        {"at=", false, 0, 0, false, false, ""},
        {"at=4x", false, 0, 0, false, false, ""},
        {"ops=seek", false, 0, 0, false, false, ""},
        {"ops=", false, 0, 0, false, false, ""},
        {"sometimes", false, 0, 0, false, false, ""},
    };
    for (const auto& c : cases) {
        Plan p;
        ASSERT_EQ(faultvfs::parsePlan(c.text, p), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(p.at, c.at) << c.text;
        EXPECT_EQ(p.operations, c.operations) << c.text;
        EXPECT_EQ(p.diskFull, c.full) << c.text;
        EXPECT_EQ(p.persistent, c.persistent) << c.text;
        EXPECT_EQ(p.log, c.log) << c.text;
    }
}

class FaultVfs : public testing::ScratchStore {
protected:
    void TearDown() override { faultvfs::uninstall(); }

    // A fresh store object on the same directory; it opens its connections
    // on its first call, through whatever VFS is the default then.
    void reopen() { reg = makeScratchRegistry(dir.path()); }
};

TEST_F(FaultVfs, AFullDiskFailsTheCallAndKeepsTheStoreAsItWas) {
    Key k = create(kCurrentUser, "Software\\Before");
    setText(k, "v", "old");
    reg->closeKey(k);

    Plan plan;
    plan.at = 1;
    plan.operations = faultvfs::kWrite;
    plan.diskFull = true;
    plan.persistent = true;
    reopen();
    ASSERT_TRUE(faultvfs::install(plan));
    ASSERT_EQ(reg->openKeyEx(kCurrentUser, "Software\\Before", kKeyReadWrite, &k), kSuccess)
        << "reads still work";
    const std::string big(20000, 'x');
    EXPECT_EQ(
        reg->setValueEx(k, "v", kRegBinary, reinterpret_cast<const unsigned char*>(big.data()),
                        static_cast<std::uint32_t>(big.size())),
        kRegistryIoFailed);
    EXPECT_NE(std::string(reg->lastFailureDetail()).find("full"), std::string::npos)
        << reg->lastFailureDetail();
    reg->closeKey(k);
    EXPECT_GE(faultvfs::failuresInjected(), 1u);

    faultvfs::uninstall();
    reopen();
    ASSERT_EQ(reg->openKeyEx(kCurrentUser, "Software\\Before", kKeyRead, &k), kSuccess);
    EXPECT_EQ(bytesOf(k, "v"), "old");
    reg->closeKey(k);
}

TEST_F(FaultVfs, AFailureThatStrikesOnceLeavesLaterCallsWorking) {
    Plan counting;  // at=0: count only
    reopen();
    ASSERT_TRUE(faultvfs::install(counting));
    reg->closeKey(create(kCurrentUser, "Counted"));
    const std::uint64_t operations = faultvfs::operationsCounted();
    EXPECT_GT(operations, 0u);
    EXPECT_EQ(faultvfs::failuresInjected(), 0u);

    Plan once;
    once.at = 1;
    once.operations = faultvfs::kWrite;
    reopen();  // the last store closes its connection before the plan counts
    ASSERT_TRUE(faultvfs::install(once));
    Key k = kNullKey;
    long first = reg->createKeyEx(kCurrentUser, "Second", 0, kKeyReadWrite, &k, nullptr);
    EXPECT_NE(first, kSuccess);
    EXPECT_EQ(k, kNullKey);
    EXPECT_EQ(faultvfs::failuresInjected(), 1u);
    k = create(kCurrentUser, "Second");
    reg->closeKey(k);
    EXPECT_EQ(subkeys(kCurrentUser), (std::vector<std::string>{"Counted", "Second"}));
}

}  // namespace
}  // namespace vrk::reg
