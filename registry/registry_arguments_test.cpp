// Null and empty arguments and the output parameters of failed calls,
// against the answers the Windows registry calls give.
#include <cstring>
#include <functional>
#include <string>

#include "registry/registry_test_support.hpp"

namespace vrk::reg {
namespace {

using testing::ScratchStore;
using testing::windowsOrWine;

// What a caller's output handle holds after a call.
constexpr Key kSentinel{0x5e5e};

class Arguments : public ScratchStore {
public:
    Registry& store() { return *reg; }

    void SetUp() override {
        main = create(kCurrentUser, "Software\\Args");
        leaf = create(main, "leaf");
        setText(leaf, "v", "kept");
    }
    void TearDown() override {
        reg->closeKey(leaf);
        reg->closeKey(main);
    }

    // "<error number> <what the output handle holds>"; a new handle is closed.
    std::string outcome(long rc, Key out, Key parent) {
        std::string held;
        if (out == kSentinel) {
            held = "untouched";
        } else if (out == kNullKey) {
            held = "null";
        } else if (out == parent) {
            held = "parent";
        } else {
            held = "new";
            reg->closeKey(out);
        }
        return std::to_string(rc) + " " + held;
    }
    bool exists(Key parent, const char* path) {
        Key k = kNullKey;
        if (open(parent, path, &k, kKeyRead) != kSuccess) return false;
        reg->closeKey(k);
        return true;
    }

    Key main = kNullKey;
    Key leaf = kNullKey;
};

TEST_F(Arguments, KeyCallsAnswerAsWindowsDoes) {
    using Run = std::function<std::string(Arguments&)>;
    static const struct {
        const char* call;
        Run run;
        const char* expected;
        const char* wine = nullptr;  // where Wine departs, its answer
    } cases[] = {
        {"createKeyEx(main, \"x\", result null)",
         [](Arguments& t) {
             return std::to_string(
                 t.store().createKeyEx(t.main, "x", 0, kKeyReadWrite, nullptr, nullptr));
         },
         "1010"},
        {"createKeyEx(null parent, \"x\")",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().createKeyEx(kNullKey, "x", 0, kKeyReadWrite, &out, nullptr);
             return t.outcome(rc, out, kNullKey);
         },
         "6 untouched"},
        {"createKeyEx(main, null)",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().createKeyEx(t.main, nullptr, 0, kKeyReadWrite, &out, nullptr);
             return t.outcome(rc, out, t.main);
         },
         "0 new"},
        {"createKeyEx(root, \"\")",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().createKeyEx(kCurrentUser, "", 0, kKeyReadWrite, &out, nullptr);
             return t.outcome(rc, out, kCurrentUser);
         },
         "0 parent"},
        {"createKeyEx(main, \"\\\\bad\")",
         [](Arguments& t) {
             Key out = kSentinel;
             std::uint32_t disposition = 77;
             long rc = t.store().createKeyEx(t.main, "\\bad", 0, kKeyReadWrite, &out, &disposition);
             return t.outcome(rc, out, t.main) + " disposition=" + std::to_string(disposition);
         },
         "161 null disposition=77",
         // Wine departs in a 64-bit process, whose calls carry
         // KEY_WOW64_32KEY: it drops the leading backslash and creates
         // "bad". A 32-bit process gets Windows' answer.
         sizeof(void*) == 8 ? "0 new disposition=1" : nullptr},
        {"openKeyEx(main, \"x\", result null)",
         [](Arguments& t) {
             return std::to_string(t.store().openKeyEx(t.main, "x", kKeyRead, nullptr));
         },
         "87"},
        {"openKeyEx(null parent, \"\")",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().openKeyEx(kNullKey, "", kKeyRead, &out);
             return t.outcome(rc, out, kNullKey);
         },
         "6 untouched"},
        {"openKeyEx(main, \"missing\")",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().openKeyEx(t.main, "missing", kKeyRead, &out);
             return t.outcome(rc, out, t.main);
         },
         "2 null"},
        {"openKeyEx(root, null)",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().openKeyEx(kClassesRoot, nullptr, kKeyRead, &out);
             return t.outcome(rc, out, kClassesRoot);
         },
         "0 parent"},
        {"openKeyEx(main, null)",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().openKeyEx(t.main, nullptr, kKeyRead, &out);
             return t.outcome(rc, out, t.main);
         },
         "0 new"},
        {"openKey(root, \"\")",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().openKey(kCurrentUser, "", &out);
             return t.outcome(rc, out, kCurrentUser);
         },
         "0 parent"},
        {"openKey(null parent, null)",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().openKey(kNullKey, nullptr, &out);
             return t.outcome(rc, out, kCurrentUser);
         },
         "0 null"},
        {"openKey(null parent, \"x\")",
         [](Arguments& t) {
             Key out = kSentinel;
             long rc = t.store().openKey(kNullKey, "x", &out);
             return t.outcome(rc, out, kNullKey);
         },
         "6 untouched"},
        {"openKey(root, null, result null)",
         [](Arguments& t) {
             return std::to_string(t.store().openKey(kCurrentUser, nullptr, nullptr));
         },
         "87"},
        {"createKey(main, \"x\", result null)",
         [](Arguments& t) { return std::to_string(t.store().createKey(t.main, "x", nullptr)); },
         "87"},
        {"deleteKey(leaf, null)",
         [](Arguments& t) { return std::to_string(t.store().deleteKey(t.leaf, nullptr)); }, "87"},
        {"deleteKey(main, null)",
         [](Arguments& t) { return std::to_string(t.store().deleteKey(t.main, nullptr)); }, "87"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run(*this),
                  windowsOrWine<std::string>(c.expected, c.wine ? c.wine : c.expected))
            << c.call;
    }
    EXPECT_TRUE(exists(main, "leaf")) << "nothing was deleted";
    EXPECT_EQ(bytesOf(leaf, "v"), "kept");
    EXPECT_FALSE(exists(main, "x")) << "nothing was created";
}

TEST_F(Arguments, DeleteKeyWithAnEmptyNameDeletesTheKeyItself) {
    Key doomed = create(main, "doomed");
    EXPECT_EQ(reg->deleteKey(doomed, ""), kSuccess);
    reg->closeKey(doomed);
    EXPECT_FALSE(exists(main, "doomed"));
    EXPECT_EQ(reg->deleteKey(kCurrentUser, ""), kAccessDenied) << "a hive's root stays";
}

TEST_F(Arguments, QueryOfAMissingValue) {
    std::uint32_t size = 77;
    EXPECT_EQ(reg->queryValueEx(leaf, "missing", nullptr, nullptr, &size), kFileNotFound);
    EXPECT_EQ(size, 0u) << "no buffer: the size becomes 0";
    unsigned char buffer[8];
    size = sizeof buffer;
    EXPECT_EQ(reg->queryValueEx(leaf, "missing", nullptr, buffer, &size), kFileNotFound);
    EXPECT_EQ(size, sizeof buffer) << "with a buffer: the size stays";
}

TEST_F(Arguments, SetValueWithoutDataBehindASize) {
    EXPECT_EQ(reg->setValueEx(leaf, "v", kRegBinary, nullptr, 4), kNoAccess);
    EXPECT_EQ(bytesOf(leaf, "v"), "kept");
}

// RegEnumValue with buffers too small for the name, the data or both: the
// type and the data size come back for a retry; nothing else is written.
TEST_F(Arguments, EnumValueGivesWhatARetryNeeds) {
    ASSERT_EQ(reg->setValueEx(leaf, "v", kRegSz, reinterpret_cast<const unsigned char*>("kept"), 4),
              kSuccess);
    static const struct {
        const char* what;
        std::uint32_t nameSize;  // in
        std::uint32_t dataSize;  // in; 0 with data null
        bool withData;
        long rc;
        std::uint32_t nameSizeOut;
        const char* nameOut;
        const char* dataOut;
    } cases[] = {
        {"both fit", 8, 8, true, kSuccess, 1, "v", "kept"},
        {"name too small", 1, 8, true, kMoreData, 1, "####", "####"},
        {"data too small", 8, 2, true, kMoreData, 8, "####", "####"},
        {"both too small", 0, 2, true, kMoreData, 0, "####", "####"},
        {"name too small, no data buffer", 1, 0, false, kMoreData, 1, "####", "####"},
        {"no data buffer", 8, 0, false, kSuccess, 1, "v", "####"},
    };
    for (const auto& c : cases) {
        char name[8];
        unsigned char data[8];
        std::memset(name, '#', sizeof name);
        std::memset(data, '#', sizeof data);
        std::uint32_t nameSize = c.nameSize;
        std::uint32_t dataSize = c.dataSize;
        std::uint32_t type = 99;
        EXPECT_EQ(
            reg->enumValue(leaf, 0, name, &nameSize, &type, c.withData ? data : nullptr, &dataSize),
            c.rc)
            << c.what;
        EXPECT_EQ(type, kRegSz) << c.what;
        EXPECT_EQ(dataSize, 4u) << c.what;
        EXPECT_EQ(nameSize, c.nameSizeOut) << c.what;
        EXPECT_EQ(std::string(name, std::strlen(c.nameOut)), c.nameOut) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 4), c.dataOut) << c.what;
    }
    char name[8];
    std::uint32_t nameSize = sizeof name;
    EXPECT_EQ(reg->enumValue(leaf, 0, nullptr, &nameSize, nullptr, nullptr, nullptr),
              kInvalidParameter);
    EXPECT_EQ(reg->enumValue(leaf, 0, name, nullptr, nullptr, nullptr, nullptr), kInvalidParameter);
}

}  // namespace
}  // namespace vrk::reg
