// What RegQueryInfoKey tells of a key (its class, counts, longest names and
// data, last-write time), volatile keys, and how text reads fit a buffer, as
// NT-family Windows answers them (Wine's advapi32 tests assert the same).
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;
using testing::windowsOrWine;

constexpr char kClass[] = "subkey class";  // 12 bytes

class KeyInfo : public ScratchStore {
protected:
    void SetUp() override { main = create(kCurrentUser, "Software\\Info"); }
    void TearDown() override { reg->closeKey(main); }

    Key createWithClass(Key parent, const char* name, const char* keyClass,
                        std::uint32_t* disposition = nullptr) {
        Key k = kNullKey;
        EXPECT_EQ(
            reg->createKeyExWithClass(parent, name, keyClass, 0, kKeyReadWrite, &k, disposition),
            kSuccess)
            << name;
        return k;
    }
    vrk::reg::KeyInfo info(Key k) {
        vrk::reg::KeyInfo i;
        EXPECT_EQ(reg->queryInfoKey(k, nullptr, nullptr, &i), kSuccess);
        return i;
    }
    std::uint32_t classLength(Key k) {
        std::uint32_t size = 0;
        EXPECT_EQ(reg->queryInfoKey(k, nullptr, &size, nullptr), kSuccess);
        return size;
    }
    void setValue(Key k, const char* name, std::uint32_t type, const std::string& bytes) {
        ASSERT_EQ(
            reg->setValueEx(k, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<std::uint32_t>(bytes.size())),
            kSuccess)
            << name;
    }

    Key main = kNullKey;
};

TEST_F(KeyInfo, CountsLongestNamesAndDataAndTheClass) {
    Key sub = createWithClass(main, "subkey", kClass);
    EXPECT_EQ(reg->queryInfoKey(kNullKey, nullptr, nullptr, nullptr), kInvalidHandle);
    EXPECT_EQ(reg->queryInfoKey(sub, nullptr, nullptr, nullptr), kSuccess) << "nothing asked";

    vrk::reg::KeyInfo empty = info(sub);
    EXPECT_EQ(classLength(sub), 12u);
    EXPECT_EQ(empty.subKeys, 0u);
    EXPECT_EQ(empty.maxSubKeyLength, 0u);
    EXPECT_EQ(empty.maxClassLength, 0u);
    EXPECT_EQ(empty.values, 0u);
    EXPECT_EQ(empty.maxValueNameLength, 0u);
    EXPECT_EQ(empty.maxValueLength, 0u);
    EXPECT_NE(empty.lastWriteTime, 0u);

    reg->closeKey(createWithClass(sub, "subsubkey", "subsubkey class"));
    setValue(sub, nullptr, kRegSz, std::string("data", 5));
    vrk::reg::KeyInfo one = info(sub);
    EXPECT_EQ(classLength(sub), 12u);
    EXPECT_EQ(one.subKeys, 1u);
    EXPECT_EQ(one.maxSubKeyLength, 9u) << "subsubkey";
    EXPECT_EQ(one.maxClassLength, 15u) << "subsubkey class";
    EXPECT_EQ(one.values, 1u) << "the default value counts";
    EXPECT_EQ(one.maxValueNameLength, 0u);
    EXPECT_EQ(one.maxValueLength, 10u) << "\"data\" and its zero, as UTF-16";

    setValue(sub, "value one", kRegSz, std::string("first value data", 17));
    setValue(sub, "value 2", kRegSz, std::string("second value data", 18));
    vrk::reg::KeyInfo three = info(sub);
    EXPECT_EQ(three.values, 3u);
    EXPECT_EQ(three.maxValueNameLength, 9u) << "value one";
    EXPECT_EQ(three.maxValueLength, 36u);
    reg->closeKey(sub);
}

// A class buffer of each size, as Wine's test_reg_query_info gives them to
// RegQueryInfoKeyA: the class, cut short with a zero after it when it does
// not fit whole with its zero.
TEST_F(KeyInfo, TheClassFillsABufferAsTheAnsiCallDoes) {
    Key sub = createWithClass(main, "subkey", kClass);
    static const struct {
        std::uint32_t size;
        long rc;
        std::uint32_t sizeOut;
        const char* written;  // what lies at the buffer's start, then 0x55 bytes
        std::size_t writtenBytes;
    } cases[] = {
        // Wine gives the class's length, as Windows 2000 did.
        {0, kSuccess, windowsOrWine(0u, 12u), "", 0},   {1, kMoreData, 0, "", 1},
        {12, kMoreData, 11, "subkey clas", 12},         {13, kSuccess, 12, "subkey class", 13},
        {0xdeadbeef, kSuccess, 12, "subkey class", 13},
    };
    for (const auto& c : cases) {
        char buffer[32];
        std::memset(buffer, 0x55, sizeof buffer);
        std::uint32_t size = c.size;
        EXPECT_EQ(reg->queryInfoKey(sub, buffer, &size, nullptr), c.rc) << c.size;
        EXPECT_EQ(size, c.sizeOut) << c.size;
        std::string expected(c.written, c.writtenBytes);
        expected.resize(sizeof buffer, '\x55');
        EXPECT_EQ(std::string(buffer, sizeof buffer), expected) << c.size;
    }
    char buffer[4] = {0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(reg->queryInfoKey(sub, buffer, nullptr, nullptr), kInvalidParameter)
        << "a buffer without its size";
    EXPECT_EQ(buffer[0], 0x55);
    reg->closeKey(sub);
}

TEST_F(KeyInfo, AKeyKeepsTheClassItWasCreatedWith) {
    reg->closeKey(createWithClass(main, "classed", kClass));
    std::uint32_t disposition = 0;
    Key again = createWithClass(main, "CLASSED", "another class", &disposition);
    EXPECT_EQ(disposition, kOpenedExistingKey);
    // Wine gives an existing key the class of the later create.
    EXPECT_EQ(classLength(again), windowsOrWine(12u, 13u)) << "an existing key keeps its class";
    reg->closeKey(again);

    Key plain = create(main, "plain");
    EXPECT_EQ(classLength(plain), 0u) << "createKeyEx gives no class";
    reg->closeKey(plain);

    Key levels = createWithClass(main, "a\\b", "level");
    EXPECT_EQ(classLength(levels), 5u);
    Key a = kNullKey;
    ASSERT_EQ(open(main, "a", &a), kSuccess);
    EXPECT_EQ(classLength(a), 5u) << "every level one call creates gets the class";
    EXPECT_EQ(info(a).maxClassLength, 5u);
    reg->closeKey(a);
    reg->closeKey(levels);
}

// The longest data counts bytes as Windows keeps them: text in UTF-16, two
// bytes a unit (a character beyond U+FFFF is two units), anything else as
// written.
TEST_F(KeyInfo, TheLongestDataCountsTextAsUtf16) {
    static const struct {
        const char* what;
        std::uint32_t type;
        std::string bytes;
        std::uint32_t kept;
    } cases[] = {
        {"text without its zero", kRegSz, "hello", 10},
        {"text and its zero", kRegSz, std::string("hello", 6), 12},
        {"expandable text", kRegExpandSz, "%PATH%", 12},
        {"text list", kRegMultiSz, std::string("a\0b\0", 5), 10},
        {"accented and beyond U+FFFF", kRegSz, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 8},
        {"empty text", kRegSz, "", 0},
        {"binary", kRegBinary, "hello", 5},
        {"number", kRegDword, std::string("\1\0\0\0", 4), 4},
    };
    for (const auto& c : cases) {
        Key k = create(main, c.what);
        setValue(k, "v", c.type, c.bytes);
        EXPECT_EQ(info(k).maxValueLength, c.kept) << c.what;
        reg->closeKey(k);
        ASSERT_EQ(reg->deleteKey(main, c.what), kSuccess);
    }
}

// The last-write time moves when the key is created, when a value of it is
// set or deleted and when a subkey of it is created or deleted; reads and
// opens leave it.
TEST_F(KeyInfo, TheLastWriteTimeMovesWithEachChange) {
    const std::uint64_t before = fileTimeNow();
    Key k = create(main, "written");
    std::uint64_t last = info(k).lastWriteTime;
    constexpr std::uint64_t kDay = 864000000000ull;  // in 100 ns units
    EXPECT_GT(last + kDay, before) << "a time near now";
    EXPECT_LT(last, before + kDay) << "a time near now";
    static const struct {
        const char* what;
        bool changes;
    } steps[] = {
        {"set a value", true},          {"read it", false},          {"enumerate values", false},
        {"set it to other text", true}, {"delete it", true},         {"create a subkey", true},
        {"open the subkey", false},     {"create it again", false},  {"enumerate subkeys", false},
        {"change the subkey", false},   {"delete the subkey", true}, {"create two levels", true},
    };
    for (const auto& s : steps) {
        // The clocks of the stores tick in 100 ns steps at best (Windows'
        // in about 16 ms ones): wait for the next tick.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const std::string what = s.what;
        Key sub = kNullKey;
        std::uint32_t size = 0;
        char name[16];
        if (what == "set a value") {
            setValue(k, "v", kRegSz, "text");
        } else if (what == "set it to other text") {
            setValue(k, "v", kRegSz, "other text");
        } else if (what == "read it") {
            EXPECT_EQ(reg->queryValueEx(k, "v", nullptr, nullptr, &size), kSuccess);
        } else if (what == "enumerate values") {
            std::uint32_t n = sizeof name;
            EXPECT_EQ(reg->enumValue(k, 0, name, &n, nullptr, nullptr, nullptr), kSuccess);
        } else if (what == "delete it") {
            EXPECT_EQ(reg->deleteValue(k, "v"), kSuccess);
        } else if (what == "create a subkey" || what == "create it again") {
            reg->closeKey(create(k, "sub"));
        } else if (what == "open the subkey") {
            ASSERT_EQ(open(k, "sub", &sub), kSuccess);
            reg->closeKey(sub);
        } else if (what == "enumerate subkeys") {
            EXPECT_EQ(reg->enumKey(k, 0, name, sizeof name), kSuccess);
        } else if (what == "change the subkey") {
            ASSERT_EQ(open(k, "sub", &sub), kSuccess);
            setValue(sub, "deeper", kRegSz, "x");
            reg->closeKey(sub);
        } else if (what == "delete the subkey") {
            EXPECT_EQ(reg->deleteKey(k, "sub"), kSuccess);
        } else if (what == "create two levels") {
            reg->closeKey(create(k, "one\\two"));
        }
        const std::uint64_t now = info(k).lastWriteTime;
        if (s.changes) {
            EXPECT_GT(now, last) << s.what;
        } else {
            EXPECT_EQ(now, last) << s.what;
        }
        last = now;
    }
    Key two = kNullKey;
    ASSERT_EQ(open(k, "one\\two", &two), kSuccess);
    EXPECT_NE(info(two).lastWriteTime, 0u);
    reg->closeKey(two);
    reg->closeKey(k);
}

class Volatile : public ScratchStore {
protected:
    void SetUp() override { main = create(kCurrentUser, "Software\\Volatility"); }
    void TearDown() override { reg->closeKey(main); }
    Key main = kNullKey;
};

// Wine's test_reg_create_key: below a volatile key only volatile keys can
// be created; an existing one opens whatever the options.
TEST_F(Volatile, AKeyBelowAVolatileKeyMustBeVolatile) {
    Key v = kNullKey;
    ASSERT_EQ(reg->createKeyEx(main, "Volatile", kRegOptionVolatile, kKeyReadWrite, &v, nullptr),
              kSuccess);
    static const struct {
        const char* what;
        Key parent;  // kNullKey: the volatile key
        const char* path;
    } refused[] = {
        {"a subkey", kNullKey, "Subkey2"},
        {"two levels", kNullKey, "a\\b"},
        {"a path from above", kCurrentUser, "Software\\Volatility\\Volatile\\c"},
    };
    for (const auto& c : refused) {
        const Key parent = c.parent == kNullKey ? v : c.parent;
        Key k{0x99};
        EXPECT_EQ(reg->createKeyEx(parent, c.path, 0, kKeyReadWrite, &k, nullptr),
                  kChildMustBeVolatile)
            << c.what;
        EXPECT_EQ(k, kNullKey) << c.what;
        EXPECT_TRUE(subkeys(v).empty()) << c.what << ": nothing created";
    }
    Key legacy = kNullKey;
    EXPECT_EQ(reg->createKey(v, "plain", &legacy), kChildMustBeVolatile);

    Key sub = kNullKey;
    ASSERT_EQ(reg->createKeyEx(v, "Subkey2", kRegOptionVolatile, kKeyReadWrite, &sub, nullptr),
              kSuccess);
    reg->closeKey(sub);
    std::uint32_t disposition = 0;
    ASSERT_EQ(reg->createKeyEx(v, "Subkey2", 0, kKeyReadWrite, &sub, &disposition), kSuccess)
        << "an existing key opens";
    EXPECT_EQ(disposition, kOpenedExistingKey);
    reg->closeKey(sub);
    ASSERT_EQ(reg->createKeyEx(v, "x\\y", kRegOptionVolatile, kKeyReadWrite, &sub, nullptr),
              kSuccess)
        << "volatile levels below a volatile key";
    reg->closeKey(sub);

    Key lasting = kNullKey;
    ASSERT_EQ(reg->createKeyEx(main, "Lasting", 0, kKeyReadWrite, &lasting, nullptr), kSuccess);
    ASSERT_EQ(reg->createKeyEx(lasting, "v", kRegOptionVolatile, kKeyReadWrite, &sub, nullptr),
              kSuccess)
        << "a volatile key below a lasting one";
    reg->closeKey(sub);
    reg->closeKey(lasting);
    reg->closeKey(v);
}

class TextReads : public ScratchStore {};

// Wine's test_string_termination, for text stored as exactly the bytes a
// caller counted: "FullStrin" (9 bytes, no zero) fits a buffer of 9 bytes
// and gets a zero after it in one of 10; "FullString" with its zero (11
// bytes) does not fit a buffer that holds the text but not the zero.
TEST_F(TextReads, ABufferHoldsTheTextAsStored) {
    Key k = create(kCurrentUser, "Software\\TextReads");
    static const struct {
        const char* what;
        std::uint32_t stored;  // bytes of "FullString\0" counted
        std::uint32_t room;
        long rc;
        std::uint32_t sizeOut;
        int after;  // the byte after the text: 0, or -1 for untouched
    } cases[] = {
        {"no zero, buffer of its size", 9, 9, kSuccess, 9, -1},
        {"no zero, one byte more", 9, 10, kSuccess, 9, 0},
        {"with its zero, buffer without room for it", 11, 10, kMoreData, 11, -1},
        {"with its zero, buffer of its size", 11, 11, kSuccess, 11, -1},
    };
    static const char kText[] = "FullString";
    for (const auto& c : cases) {
        ASSERT_EQ(reg->setValueEx(k, "stringtest", kRegSz,
                                  reinterpret_cast<const unsigned char*>(kText), c.stored),
                  kSuccess);
        std::uint32_t size = 0;
        ASSERT_EQ(reg->queryValueEx(k, "stringtest", nullptr, nullptr, &size), kSuccess);
        EXPECT_EQ(size, c.stored) << c.what;
        for (bool enumerate : {false, true}) {
            unsigned char buffer[16];
            std::memset(buffer, 0xbd, sizeof buffer);
            size = c.room;
            char name[16];
            std::uint32_t nameSize = sizeof name;
            const long rc = enumerate
                                ? reg->enumValue(k, 0, name, &nameSize, nullptr, buffer, &size)
                                : reg->queryValueEx(k, "stringtest", nullptr, buffer, &size);
            const std::string how = std::string(c.what) + (enumerate ? " (enumValue)" : "");
            EXPECT_EQ(rc, c.rc) << how;
            EXPECT_EQ(size, c.sizeOut) << how;
            if (rc != kSuccess) {
                EXPECT_EQ(buffer[0], 0xbd) << how << ": nothing written";
                continue;
            }
            EXPECT_EQ(std::memcmp(buffer, kText, size), 0) << how;
            EXPECT_EQ(buffer[size], c.after < 0 ? 0xbd : c.after) << how;
        }
    }
    reg->closeKey(k);
}

}  // namespace
}  // namespace vrk::reg
