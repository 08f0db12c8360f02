// The wrappers around a store with batches (the SQLite store): a refused
// commit, and batches passed on by the forwarding wrapper.
#include "registry/testing/registry_wrappers.hpp"

#include "platform/process.hpp"
#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;

class BatchWrappers : public ScratchStore {};

TEST_F(BatchWrappers, ARefusedCommitLeavesNothingOfTheBatch) {
    FaultInjectingRegistry faults(*reg);
    ASSERT_EQ(faults.beginBatch(), kSuccess);
    Key k = kNullKey;
    ASSERT_EQ(faults.createKeyEx(kCurrentUser, "batched", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    faults.closeKey(k);
    faults.failCall(RegCall::commitBatch, 1, kRegistryIoFailed);
    EXPECT_EQ(faults.commitBatch(), kRegistryIoFailed);
    EXPECT_EQ(platform::lastError(), static_cast<std::uint32_t>(kRegistryIoFailed));
    EXPECT_EQ(reg->openKeyEx(kCurrentUser, "batched", kKeyRead, &k), kFileNotFound);
    // The store is out of the batch: a later call stands on its own.
    ASSERT_EQ(faults.createKeyEx(kCurrentUser, "single", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    faults.closeKey(k);
    EXPECT_EQ(reg->openKeyEx(kCurrentUser, "single", kKeyRead, &k), kSuccess);
    reg->closeKey(k);
}

TEST_F(BatchWrappers, ForwardingPassesBatchesAndDetail) {
    ForwardingRegistry fwd(*reg);
    EXPECT_EQ(&fwd.target(), reg.get());
    EXPECT_EQ(fwd.beginBatch(), kSuccess);
    Key k = kNullKey;
    ASSERT_EQ(fwd.createKeyEx(kCurrentUser, "inBatch", 0, kKeyReadWrite, &k, nullptr), kSuccess);
    fwd.closeKey(k);
    EXPECT_EQ(fwd.rollbackBatch(), kSuccess);
    EXPECT_EQ(open(kCurrentUser, "inBatch", &k), kFileNotFound);
    EXPECT_STREQ(fwd.lastFailureDetail(), reg->lastFailureDetail());
}

}  // namespace
}  // namespace vrk::reg
