// Values: exact bytes and types, buffer sizes, creation order, names.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;
using testing::windowsOrWine;

class Values : public ScratchStore {
protected:
    void SetUp() override { key = create(kCurrentUser, "Software\\Values"); }
    void TearDown() override { reg->closeKey(key); }
    Key key = kNullKey;
};

TEST_F(Values, KeepTypeAndExactBytes) {
    static const struct {
        const char* name;
        std::uint32_t type;
        std::string bytes;
    } cases[] = {
        {"text", kRegSz, "hello"},                       // no terminator added
        {"terminated", kRegSz, std::string("hi\0", 3)},  // terminator kept
        {"dword", kRegDword, std::string("\x02\x01\x00\x00", 4)},
        {"binary", kRegBinary, std::string("\x00\xff\x00\n\r", 5)},
        {"empty", kRegBinary, ""},
        {"expand", kRegExpandSz, "%HOME%"},
        {"multi", kRegMultiSz, std::string("a\0b\0\0", 5)},
        {"qword", kRegQword, std::string(8, '\x7f')},
        {"odd type", 0x1234, "z"},
        {"", kRegSz, "the unnamed value"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(reg->setValueEx(key, c.name, c.type,
                                  reinterpret_cast<const unsigned char*>(c.bytes.data()),
                                  static_cast<std::uint32_t>(c.bytes.size())),
                  kSuccess)
            << c.name;
    }
    for (const auto& c : cases) {
        std::uint32_t type = 99;
        EXPECT_EQ(bytesOf(key, c.name, &type), c.bytes) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
}

// Text keeps the bytes counted, whatever follows them in the writer's memory
// and whatever terminator the registry keeps with it; a reader's buffer with
// room gets a zero after a text that lacks one, outside the size, as from
// Windows' ANSI calls.
TEST_F(Values, TextKeepsTheBytesCountedAndReadsBackZeroTerminated) {
    static const struct {
        const char* what;
        std::uint32_t type;
        std::string written;  // followed in memory by a zero byte
        std::size_t counted;
        bool zeroAfter;  // a zero byte follows the value in a larger buffer
    } cases[] = {
        {"text", kRegSz, "hello", 5, true},
        {"text and its terminator", kRegSz, "hello", 6, false},
        {"expandable text", kRegExpandSz, "%PATH%", 6, true},
        {"text list", kRegMultiSz, std::string("a\0b", 3), 3, true},
        {"text list with its terminators", kRegMultiSz, std::string("a\0b\0", 4), 5, false},
        {"empty text", kRegSz, "", 0, false},
        {"binary", kRegBinary, "hello", 5, false},
    };
    for (const auto& c : cases) {
        const std::string expected(c.written.c_str(), c.counted);
        ASSERT_EQ(reg->setValueEx(key, c.what, c.type,
                                  reinterpret_cast<const unsigned char*>(c.written.c_str()),
                                  static_cast<std::uint32_t>(c.counted)),
                  kSuccess)
            << c.what;
        unsigned char buf[16];
        std::memset(buf, '#', sizeof buf);
        std::uint32_t size = sizeof buf;
        std::uint32_t type = 0;
        ASSERT_EQ(reg->queryValueEx(key, c.what, &type, buf, &size), kSuccess) << c.what;
        EXPECT_EQ(size, c.counted) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), expected) << c.what;
        EXPECT_EQ(buf[size], c.zeroAfter ? '\0' : '#') << c.what << ": the byte after the value";

        // The same through enumeration.
        char name[64];
        std::uint32_t nameSize = 0;
        bool seen = false;
        for (std::uint32_t i = 0; !seen; ++i) {
            std::memset(buf, '#', sizeof buf);
            nameSize = sizeof name;
            size = sizeof buf;
            if (reg->enumValue(key, i, name, &nameSize, &type, buf, &size) != kSuccess) break;
            seen = std::string(name, nameSize) == c.what;
        }
        ASSERT_TRUE(seen) << c.what;
        EXPECT_EQ(size, c.counted) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), expected) << c.what;
        EXPECT_EQ(buf[size], c.zeroAfter ? '\0' : '#') << c.what << ": the byte after the value";

        // A buffer of exactly the size holds the value and nothing more.
        std::memset(buf, '#', sizeof buf);
        size = static_cast<std::uint32_t>(c.counted);
        ASSERT_EQ(reg->queryValueEx(key, c.what, &type, buf, &size), kSuccess) << c.what;
        EXPECT_EQ(buf[size], '#') << c.what;
    }
}

TEST_F(Values, NullAndEmptyNameAreTheUnnamedValue) {
    setText(key, nullptr, "one");
    EXPECT_EQ(bytesOf(key, ""), "one");
    setText(key, "", "two");
    EXPECT_EQ(bytesOf(key, nullptr), "two");
    EXPECT_EQ(valueNames(key), std::vector<std::string>{""});
}

TEST_F(Values, LargeValueRoundTrips) {
    std::string big(4 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + 7);
    ASSERT_EQ(
        reg->setValueEx(key, "big", kRegBinary, reinterpret_cast<const unsigned char*>(big.data()),
                        static_cast<std::uint32_t>(big.size())),
        kSuccess);
    EXPECT_TRUE(bytesOf(key, "big") == big);
}

TEST_F(Values, BufferSizes) {
    const unsigned char five[] = {'1', '2', '3', '4', '5'};
    ASSERT_EQ(reg->setValueEx(key, "v", kRegBinary, five, sizeof five), kSuccess);
    unsigned char buf[8];
    std::memset(buf, '#', sizeof buf);
    std::uint32_t type = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(reg->queryValueEx(key, "v", &type, buf, &size), kMoreData);
    EXPECT_EQ(size, 5u) << "size set to the need";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 8), "########") << "buffer untouched";

    size = 0;
    EXPECT_EQ(reg->queryValueEx(key, "v", nullptr, nullptr, &size), kSuccess);
    EXPECT_EQ(size, 5u) << "no buffer: the size";

    size = 5;
    EXPECT_EQ(reg->queryValueEx(key, "v", &type, buf, &size), kSuccess);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 6), "12345#") << "nothing past the value";

    size = 8;
    EXPECT_EQ(reg->queryValueEx(key, "v", nullptr, buf, &size), kSuccess);
    EXPECT_EQ(size, 5u) << "size set to the bytes stored";

    EXPECT_EQ(reg->queryValueEx(key, "v", nullptr, buf, nullptr), kInvalidParameter);
    EXPECT_EQ(reg->queryValueEx(key, "v", &type, nullptr, nullptr), kSuccess) << "existence test";
    EXPECT_EQ(type, kRegBinary);
}

TEST_F(Values, MissingValue) {
    std::uint32_t size = 0;
    EXPECT_EQ(reg->queryValueEx(key, "absent", nullptr, nullptr, &size), kFileNotFound);
    EXPECT_EQ(reg->queryValueEx(key, "", nullptr, nullptr, &size), kFileNotFound)
        << "a key without an unnamed value";
    EXPECT_EQ(reg->deleteValue(key, "absent"), kFileNotFound);
}

TEST_F(Values, NamesAreCaseInsensitiveAndReplacedInPlace) {
    setText(key, "First", "1");
    setText(key, "second", "2");
    setText(key, "Third", "3");
    setText(key, "FIRST", "one");  // replaces, keeps name and place
    EXPECT_EQ(bytesOf(key, "first"), "one");
    EXPECT_EQ(valueNames(key), (std::vector<std::string>{"First", "second", "Third"}));
    ASSERT_EQ(reg->deleteValue(key, "SECOND"), kSuccess);
    setText(key, "second", "again");  // a new value goes last (Wine: in name order)
    EXPECT_EQ(valueNames(key), windowsOrWine(std::vector<std::string>{"First", "Third", "second"},
                                             std::vector<std::string>{"First", "second", "Third"}));
}

TEST_F(Values, CreationOrderIsNotNameOrder) {
    const std::vector<std::string> created{"z", "B", "a", "0", "_", "~", "Data", "DataType"};
    for (const auto& n : created) setText(key, n.c_str(), n);
    // Wine departs: it lists values by their lower-cased names.
    const std::vector<std::string> names = windowsOrWine(
        created, std::vector<std::string>{"0", "_", "a", "B", "Data", "DataType", "z", "~"});
    EXPECT_EQ(valueNames(key), names);
    // Walking again, and walking with gaps, gives the same.
    EXPECT_EQ(valueNames(key), names);
    char buf[16];
    std::uint32_t n = sizeof buf;
    ASSERT_EQ(reg->enumValue(key, 5, buf, &n, nullptr, nullptr, nullptr), kSuccess);
    EXPECT_EQ(std::string(buf, n), names[5]);
    n = sizeof buf;
    ASSERT_EQ(reg->enumValue(key, 2, buf, &n, nullptr, nullptr, nullptr), kSuccess);
    EXPECT_EQ(std::string(buf, n), "a");
}

TEST_F(Values, EnumValueBuffers) {
    setText(key, "name", "data!");
    char name[8];
    std::memset(name, '#', sizeof name);
    std::uint32_t nameSize = 4;
    EXPECT_EQ(reg->enumValue(key, 0, name, &nameSize, nullptr, nullptr, nullptr), kMoreData);
    EXPECT_EQ(nameSize, 4u) << "size left as it was";
    EXPECT_EQ(name[0], '#') << "nothing copied";

    nameSize = 5;
    std::uint32_t type = 0;
    std::uint32_t dataSize = 0;
    ASSERT_EQ(reg->enumValue(key, 0, name, &nameSize, &type, nullptr, &dataSize), kSuccess);
    EXPECT_STREQ(name, "name");
    EXPECT_EQ(nameSize, 4u) << "length without terminator";
    EXPECT_EQ(type, kRegSz);
    const std::string stored = "data!";
    EXPECT_EQ(dataSize, stored.size());

    unsigned char data[8];
    std::memset(data, '#', sizeof data);
    nameSize = sizeof name;
    dataSize = 3;
    EXPECT_EQ(reg->enumValue(key, 0, name, &nameSize, &type, data, &dataSize), kMoreData);
    EXPECT_EQ(dataSize, stored.size());
    EXPECT_EQ(data[0], '#');

    nameSize = sizeof name;
    dataSize = sizeof data;
    ASSERT_EQ(reg->enumValue(key, 0, name, &nameSize, &type, data, &dataSize), kSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), stored);

    nameSize = sizeof name;
    EXPECT_EQ(reg->enumValue(key, 1, name, &nameSize, nullptr, nullptr, nullptr), kNoMoreItems);
    EXPECT_EQ(reg->enumValue(key, 0, nullptr, &nameSize, nullptr, nullptr, nullptr),
              kInvalidParameter);
}

TEST_F(Values, ValueNameLimit) {
    std::string longest(16383, 'v');
    std::string tooLong(16384, 'v');
    EXPECT_EQ(reg->setValueEx(key, longest.c_str(), kRegSz, nullptr, 0), kSuccess);
    EXPECT_EQ(reg->setValueEx(key, tooLong.c_str(), kRegSz, nullptr, 0), kInvalidParameter);
    std::uint32_t size = 0;
    // Wine: a name too long to exist is simply not found.
    EXPECT_EQ(reg->queryValueEx(key, tooLong.c_str(), nullptr, nullptr, &size),
              windowsOrWine<long>(kInvalidParameter, kFileNotFound));
}

TEST_F(Values, BackslashInAValueNameIsJustACharacter) {
    setText(key, "a\\b", "x");
    EXPECT_EQ(bytesOf(key, "A\\B"), "x");
    Key k = kNullKey;
    EXPECT_EQ(open(key, "a", &k), kFileNotFound);
}

TEST_F(Values, NullDataWithASizeIsRefused) {
    // ERROR_NOACCESS, the answer of a bad pointer (Windows and Wine alike).
    EXPECT_EQ(reg->setValueEx(key, "v", kRegBinary, nullptr, 4), kNoAccess);
    EXPECT_EQ(reg->setValueEx(key, "v", kRegBinary, nullptr, 0), kSuccess);
    EXPECT_EQ(bytesOf(key, "v"), "");
}

TEST_F(Values, ValuesOnARootKey) {
    setText(kUsers, "atRoot", "r");
    EXPECT_EQ(bytesOf(kUsers, "atRoot"), "r");
    EXPECT_EQ(valueNames(kUsers), std::vector<std::string>{"atRoot"});
    EXPECT_EQ(reg->deleteValue(kUsers, "atRoot"), kSuccess);
}

}  // namespace
}  // namespace vrk::reg

namespace vrk::reg {
namespace {

// The walk an export makes: each index twice (sizes, then data), with
// changes made between the calls by this store object and by another one.
TEST_F(Values, EnumerationAsksEachIndexTwiceAcrossChanges) {
    for (const char* n : {"a", "b", "c", "d"}) setText(key, n, std::string(n) + "!");
    auto walk = [&](Registry& r, const std::function<void(std::uint32_t)>& between) {
        std::vector<std::string> seen;
        for (std::uint32_t i = 0;; ++i) {
            char name[16];
            std::uint32_t nameSize = sizeof name, type = 0, dataSize = 0;
            long rc = r.enumValue(key, i, name, &nameSize, &type, nullptr, &dataSize);
            if (rc == kNoMoreItems) break;
            EXPECT_EQ(rc, kSuccess);
            if (rc != kSuccess) break;
            between(i);
            unsigned char data[16];
            nameSize = sizeof name;
            dataSize = sizeof data;
            rc = r.enumValue(key, i, name, &nameSize, &type, data, &dataSize);
            if (rc == kNoMoreItems) break;
            EXPECT_EQ(rc, kSuccess);
            seen.push_back(std::string(name, nameSize) + "=" +
                           std::string(reinterpret_cast<char*>(data), dataSize));
        }
        return seen;
    };
    EXPECT_EQ(walk(*reg, [](std::uint32_t) {}),
              (std::vector<std::string>{"a=a!", "b=b!", "c=c!", "d=d!"}));
    // The value at index 1 goes away between its two calls: index 1 is now c.
    EXPECT_EQ(walk(*reg,
                   [&](std::uint32_t i) {
                       if (i == 1) {
                           EXPECT_EQ(reg->deleteValue(key, "b"), kSuccess);
                       }
                   }),
              (std::vector<std::string>{"a=a!", "c=c!", "d=d!"}));
    auto other = makeScratchRegistry(dir.path());
    Key mine = kNullKey;
    ASSERT_EQ(other->openKeyEx(kCurrentUser, "Software\\Values", kKeyReadWrite, &mine), kSuccess);
    EXPECT_EQ(walk(*reg,
                   [&](std::uint32_t i) {
                       if (i == 0) {
                           EXPECT_EQ(other->deleteValue(mine, "a"), kSuccess);
                       }
                   }),
              (std::vector<std::string>{"c=c!", "d=d!"}))
        << "another store object's change is seen too";
    other->closeKey(mine);
}

}  // namespace
}  // namespace vrk::reg
