// The depth limit of our store: a key lies at most kMaxKeyDepth levels below
// its root. Our store's own rule, with its own message: Windows counts the
// levels from its real roots, which a scratch store on Windows lies below,
// and Wine enforces no limit, so this runs on our store only.
#include <string>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

// "a\a\...\a", levels names deep.
std::string deepPath(int levels) {
    std::string path = "a";
    for (int i = 1; i < levels; ++i) path += "\\a";
    return path;
}

class Depth : public testing::ScratchStore {};

TEST_F(Depth, KeysLieAtMost512LevelsBelowTheirRoot) {
    Key k = kNullKey;
    // Too deep in one call: refused, nothing created.
    EXPECT_EQ(reg->createKeyEx(kLocalMachine, deepPath(kMaxKeyDepth + 1).c_str(), 0, kKeyReadWrite,
                               &k, nullptr),
              kBadKey);
    EXPECT_EQ(k, kNullKey);
    EXPECT_NE(std::string(reg->lastFailureDetail()).find("513 levels"), std::string::npos)
        << reg->lastFailureDetail();
    EXPECT_TRUE(subkeys(kLocalMachine).empty());
    EXPECT_EQ(reg->createKey(kLocalMachine, deepPath(kMaxKeyDepth + 1).c_str(), &k), kBadKey);
    EXPECT_TRUE(subkeys(kLocalMachine).empty());
    // The deepest key allowed.
    std::uint32_t disposition = 0;
    Key deepest = create(kLocalMachine, deepPath(kMaxKeyDepth).c_str(), &disposition);
    EXPECT_EQ(disposition, kCreatedNewKey);
    EXPECT_EQ(reg->createKeyEx(deepest, "b", 0, kKeyReadWrite, &k, nullptr), kBadKey);
    EXPECT_EQ(reg->closeKey(deepest), kSuccess);
    // Counted from the root, whatever handle the path starts from.
    Key mid = kNullKey;
    ASSERT_EQ(open(kLocalMachine, deepPath(500).c_str(), &mid), kSuccess);
    EXPECT_EQ(reg->createKeyEx(mid, deepPath(13).c_str(), 0, kKeyReadWrite, &k, nullptr), kBadKey);
    EXPECT_EQ(reg->setValue(mid, deepPath(13).c_str(), kRegSz, "x", 1), kBadKey)
        << "the legacy set creates its subkey";
    Key twelve = kNullKey;
    EXPECT_EQ(reg->createKeyEx(mid, deepPath(12).c_str(), 0, kKeyReadWrite, &twelve, nullptr),
              kSuccess);
    reg->closeKey(twelve);
    Key opened = kNullKey;
    ASSERT_EQ(open(mid, deepPath(12).c_str(), &opened), kSuccess);
    EXPECT_EQ(reg->createKeyEx(opened, "b", 0, kKeyReadWrite, &k, nullptr), kBadKey);
    reg->closeKey(opened);
    reg->closeKey(mid);
    // Other roots count on their own.
    reg->closeKey(create(kUsers, deepPath(kMaxKeyDepth).c_str()));
}

}  // namespace
}  // namespace vrk::reg
