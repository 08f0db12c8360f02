// The legacy plain forms built from the Ex calls.
#include <cstring>
#include <string>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;

class Legacy : public ScratchStore {};

// The text keeps the terminator a string has in the registry, which text
// values read through queryValueEx do not show.
TEST_F(Legacy, SetValueCreatesTheSubkeyAndStoresTheText) {
    Key app = create(kLocalMachine, "Software\\SV.INI\\App");
    ASSERT_EQ(reg->setValue(app, "DataType", kRegSz, "String", 0), kSuccess);
    Key sub = kNullKey;
    ASSERT_EQ(open(app, "DataType", &sub), kSuccess);
    std::uint32_t type = 0;
    EXPECT_EQ(bytesOf(sub, "", &type), std::string("String\0", 7)) << "with its terminating zero";
    EXPECT_EQ(type, kRegSz);
    reg->closeKey(sub);
    reg->closeKey(app);
}

TEST_F(Legacy, QueryValueSizesAndText) {
    Key k = create(kCurrentUser, "q");
    ASSERT_EQ(reg->setValue(k, "Data", kRegSz, "-42", 3), kSuccess);
    std::int32_t size = 0;
    ASSERT_EQ(reg->queryValue(k, "Data", nullptr, &size), kSuccess);
    EXPECT_EQ(size, 4) << "text and terminator";
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    size = 3;
    EXPECT_EQ(reg->queryValue(k, "Data", buf, &size), kMoreData);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(buf[0], '#');
    size = sizeof buf;
    ASSERT_EQ(reg->queryValue(k, "Data", buf, &size), kSuccess);
    EXPECT_STREQ(buf, "-42");
    EXPECT_EQ(size, 4);
    reg->closeKey(k);
}

TEST_F(Legacy, QueryValueOfTextWrittenWithoutTerminator) {
    Key k = create(kCurrentUser, "q\\Data");
    setText(k, "", "abc");  // three bytes, no zero
    reg->closeKey(k);
    k = create(kCurrentUser, "q");
    char buf[8];
    std::int32_t size = sizeof buf;
    ASSERT_EQ(reg->queryValue(k, "Data", buf, &size), kSuccess);
    EXPECT_STREQ(buf, "abc");
    // Counted with a terminating zero; Wine's plain form counts the bytes
    // stored.
    EXPECT_EQ(size, testing::windowsOrWine(4, 3));
    reg->closeKey(k);
}

TEST_F(Legacy, QueryValueMissingSubkeyAndMissingValue) {
    Key k = create(kCurrentUser, "q\\NoValue");
    reg->closeKey(k);
    k = create(kCurrentUser, "q");
    std::int32_t size = 0;
    EXPECT_EQ(reg->queryValue(k, "Absent", nullptr, &size), kFileNotFound);
    char buf[4] = "###";
    size = sizeof buf;
    EXPECT_EQ(reg->queryValue(k, "NoValue", buf, &size), kSuccess) << "no unnamed value: empty";
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(size, 1);
    reg->closeKey(k);
}

TEST_F(Legacy, NullOrEmptySubkeyMeansTheKeyItself) {
    Key k = create(kCurrentUser, "self");
    ASSERT_EQ(reg->setValue(k, nullptr, kRegSz, "me", 0), kSuccess);
    char buf[8];
    std::int32_t size = sizeof buf;
    ASSERT_EQ(reg->queryValue(k, "", buf, &size), kSuccess);
    EXPECT_STREQ(buf, "me");
    EXPECT_TRUE(subkeys(k).empty());
    reg->closeKey(k);
}

TEST_F(Legacy, SetValueAcceptsOnlyText) {
    Key k = create(kCurrentUser, "t");
    EXPECT_EQ(reg->setValue(k, "x", kRegBinary, "ab", 2), kInvalidParameter);
    EXPECT_EQ(reg->setValue(k, "x", kRegSz, nullptr, 0), kInvalidParameter);
    reg->closeKey(k);
}

TEST_F(Legacy, CreateAndOpenKey) {
    Key k = kNullKey;
    ASSERT_EQ(reg->createKey(kCurrentUser, "a\\b", &k), kSuccess);
    setText(k, "v", "w");  // opened for writing
    reg->closeKey(k);
    ASSERT_EQ(reg->openKey(kCurrentUser, "A\\B", &k), kSuccess);
    EXPECT_EQ(bytesOf(k, "v"), "w");
    setText(k, "v", "w2");
    reg->closeKey(k);
    k = Key{5};
    EXPECT_EQ(reg->openKey(kCurrentUser, "a\\missing", &k), kFileNotFound);
    EXPECT_EQ(k, kNullKey);
    EXPECT_EQ(reg->createKey(kCurrentUser, "x", nullptr), kInvalidParameter);
}

}  // namespace
}  // namespace vrk::reg
