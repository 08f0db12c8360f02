// Our hives against a reader and writer we did not write: Debian's
// hivexregedit (libwin-hivex-perl). What we write, it exports as we set it;
// what it merges from a .reg file, we read as the file says.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "registry/hive/hive_test_support.hpp"

namespace vrk::reg::hive {
namespace {

using testing::Image;
using testing::runCommand;

constexpr char kPeer[] = "/usr/bin/hivexregedit";

std::string shellWord(const std::string& s) { return "'" + s + "'"; }

class HivePeer : public ::testing::Test {
protected:
    void SetUp() override {
        // The peer is one of the build's dependencies (scripts/deps): a
        // machine without it cannot run these tests, and says so.
        ASSERT_EQ(::access(kPeer, X_OK), 0) << kPeer << " is not installed (libwin-hivex-perl)";
    }
    Image image;
};

TEST_F(HivePeer, ExportsWhatWeWrote) {
    {
        auto reg = image.open();
        Key k = kNullKey;
        ASSERT_EQ(reg->createKeyEx(kLocalMachine, "Software\\SV.INI\\App\\Entry", 0, kKeyReadWrite,
                                   &k, nullptr),
                  kSuccess);
        const std::string data("NOC NOEXIT\0", 11);
        const std::string bin("vr\n");
        const unsigned char num[4] = {42, 0, 0, 0};
        ASSERT_EQ(reg->setValueEx(k, "Data", kRegSz,
                                  reinterpret_cast<const unsigned char*>(data.data()), 11),
                  kSuccess);
        ASSERT_EQ(reg->setValueEx(k, "Bin", kRegBinary,
                                  reinterpret_cast<const unsigned char*>(bin.data()), 3),
                  kSuccess);
        ASSERT_EQ(reg->setValueEx(k, "Num", kRegDword, num, 4), kSuccess);
        ASSERT_EQ(
            reg->setValueEx(k, "", kRegExpandSz, reinterpret_cast<const unsigned char*>("%X%"), 3),
            kSuccess);
        reg->closeKey(k);
        ASSERT_EQ(
            reg->createKeyEx(kLocalMachine, "Software\\SV.INI\\b", 0, kKeyReadWrite, &k, nullptr),
            kSuccess);
        reg->closeKey(k);
    }
    const std::string exported =
        runCommand(std::string(kPeer) + " --export --prefix 'HKEY_LOCAL_MACHINE\\SOFTWARE' " +
                   shellWord(image.software) + " '\\'");
    EXPECT_EQ(exported,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\]\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI]\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\App]\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\App\\Entry]\n"
              "@=hex(2):25,00,58,00,25,00\n"
              "\"Bin\"=hex(3):76,72,0a\n"
              "\"Data\"=hex(1):4e,00,4f,00,43,00,20,00,4e,00,4f,00,45,00,58,00,49,00,54,00,00,00\n"
              "\"Num\"=dword:0000002a\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\b]\n\n");
}

TEST_F(HivePeer, ManyNewKeysAreExportedExactlyFromACompactHive) {
    // Hundreds of keys below one key: hivex copies the subkey list for each
    // and never reuses what it frees; the hive we leave holds only what is
    // live.
    constexpr int kKeys = 800;
    std::string expected =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\]\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI]\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\SQLQueryFolder]\n\n";
    {
        auto reg = image.open();
        for (int i = 0; i < kKeys; ++i) {
            char path[64], name[16];
            std::snprintf(name, sizeof name, "Q%05d", (i * 7919) % kKeys);
            std::snprintf(path, sizeof path, "Software\\SV.INI\\SQLQueryFolder\\%s", name);
            Key k = kNullKey;
            ASSERT_EQ(reg->createKeyEx(kLocalMachine, path, 0, kKeyReadWrite, &k, nullptr),
                      kSuccess);
            const unsigned char num[4] = {static_cast<unsigned char>(i), 0, 0, 0};
            ASSERT_EQ(reg->setValueEx(k, "Num", kRegDword, num, 4), kSuccess);
            reg->closeKey(k);
        }
    }
    for (int i = 0; i < kKeys; ++i) {
        // Q... was made at the step j with j * 7919 = i (mod kKeys).
        int j = 0;
        while ((j * 7919) % kKeys != i) ++j;
        char lines[160];
        std::snprintf(lines, sizeof lines,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\SQLQueryFolder\\Q%05d]\n"
                      "\"Num\"=dword:%08x\n\n",
                      i, j & 0xFF);
        expected += lines;
    }
    const std::string exported =
        runCommand(std::string(kPeer) + " --export --prefix 'HKEY_LOCAL_MACHINE\\SOFTWARE' " +
                   shellWord(image.software) + " '\\'");
    EXPECT_EQ(exported, expected);
    // A key and its value take some 200 bytes in a hive: the file is about
    // the size of the export, not thousands of subkey lists.
    EXPECT_LE(testing::fileBytes(image.software).size(), 2 * expected.size());
}

TEST_F(HivePeer, KeysMadeBesideHivexAreWrittenSoThatHivexReadsAndChangesThem) {
    // Keys this run makes are kept beside hivex's hive and written at the
    // commit: below keys of the file and below keys made, with values of
    // every size, past the point where a subkey list is split (1,012), across
    // a flush, with keys of both kinds deleted and values changed on a key
    // of the file.
    constexpr int kKeys = 1100;
    const std::string big = [] {
        std::string b;
        for (int i = 0; i < 20000; ++i) b += static_cast<char>(i * 31 + 7);
        return b;
    }();
    const auto set = [](Registry& r, const char* path, const char* name, std::uint32_t type,
                        const std::string& data) {
        Key k = kNullKey;
        ASSERT_EQ(r.createKeyEx(kLocalMachine, path, 0, kKeyReadWrite, &k, nullptr), kSuccess)
            << path;
        ASSERT_EQ(r.setValueEx(k, name, type, reinterpret_cast<const unsigned char*>(data.data()),
                               static_cast<std::uint32_t>(data.size())),
                  kSuccess)
            << path;
        r.closeKey(k);
    };
    const auto dword = [](unsigned v) { return std::string(reinterpret_cast<char*>(&v), 4); };
    {
        auto reg = image.open();
        set(*reg, "Software\\SV.INI\\Mid", "Old", kRegSz, std::string("x\0", 2));
        set(*reg, "Software\\SV.INI\\zz", "Gone", kRegDword, dword(1));
    }
    {
        auto reg = image.open();
        for (int i = 0; i < kKeys; ++i) {
            char path[64];
            std::snprintf(path, sizeof path, "Software\\SV.INI\\K%04d", (i * 7919) % kKeys);
            set(*reg, path, "N", kRegDword, dword((i * 7919) % kKeys));
        }
        set(*reg, "Software\\SV.INI\\K0005\\Sub\\Deep", "S", kRegSz, std::string("hi\0", 3));
        set(*reg, "Software\\SV.INI\\K0005\\Sub\\Deep", "", kRegDword, dword(5));
        set(*reg, "Software\\SV.INI\\K0005\\Sub\\Deep", "Five", kRegBinary, "12345");
        set(*reg, "Software\\Other\\Big", "Big", kRegBinary, big);
        set(*reg, "Software\\SV.INI\\Mid", "New", kRegDword, dword(7));
        ASSERT_EQ(reg->deleteKey(kLocalMachine, "Software\\SV.INI\\K0007"), kSuccess);
        ASSERT_EQ(reg->flush(), kSuccess);
        set(*reg, "Software\\SV.INI\\K2000", "N", kRegDword, dword(2000));
        ASSERT_EQ(reg->deleteKey(kLocalMachine, "Software\\SV.INI\\zz"), kSuccess);
    }
    std::string expected =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI]\n\n";
    for (int i = 0; i < kKeys; ++i) {
        if (i == 7) continue;
        char lines[128];
        std::snprintf(lines, sizeof lines,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\K%04d]\n\"N\"=dword:%08x\n\n", i, i);
        expected += lines;
        if (i == 5) {
            expected +=
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\K0005\\Sub]\n\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\K0005\\Sub\\Deep]\n"
                "@=dword:00000005\n"
                "\"Five\"=hex(3):31,32,33,34,35\n"
                "\"S\"=hex(1):68,00,69,00,00,00\n\n";
        }
    }
    expected +=
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\K2000]\n\"N\"=dword:000007d0\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\Mid]\n"
        "\"New\"=dword:00000007\n"
        "\"Old\"=hex(1):78,00,00,00\n\n";
    // (hivexregedit lists values by name.)
    EXPECT_EQ(runCommand(std::string(kPeer) + " --export --prefix 'HKEY_LOCAL_MACHINE\\SOFTWARE' " +
                         shellWord(image.software) + " '\\SV.INI'"),
              expected);
    testing::Peek peek(image.software);
    ASSERT_TRUE(peek.ok());
    EXPECT_EQ(peek.raw("Other\\Big", "Big"), big);

    // hivex adds a key into the split list, and we read it in its place.
    const std::string regFile = image.dir.file("in.reg");
    {
        std::ofstream out(regFile, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\K0500a]\n\n";
    }
    ASSERT_EQ(runCommand(std::string(kPeer) + " --merge " + shellWord(image.software) +
                         " --prefix 'HKEY_LOCAL_MACHINE\\SOFTWARE' " + shellWord(regFile)),
              "");
    auto reg = image.open();
    Key k = kNullKey;
    ASSERT_EQ(reg->openKeyEx(kLocalMachine, "Software\\SV.INI", kKeyRead, &k), kSuccess);
    std::vector<std::string> names;
    char name[64];
    for (std::uint32_t i = 0; reg->enumKey(k, i, name, sizeof name) == kSuccess; ++i)
        names.push_back(name);
    reg->closeKey(k);
    ASSERT_EQ(names.size(), std::size_t(kKeys + 2));
    EXPECT_EQ(names[499], "K0500");  // K0007 is gone
    EXPECT_EQ(names[500], "K0500a");
    EXPECT_EQ(names[kKeys], "K2000");
    EXPECT_EQ(names[kKeys + 1], "Mid");
}

TEST_F(HivePeer, WritesWhatWeRead) {
    const std::string regFile = image.dir.file("in.reg");
    {
        std::ofstream out(regFile, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\Zeta]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SV.INI\\alpha]\n"
               "\"DataType\"=\"String\"\n"
               "\"Bin\"=hex:76,72,0a\n"
               "\"Num\"=dword:0000002a\n"
               "@=\"def\"\n";
    }
    ASSERT_EQ(runCommand(std::string(kPeer) + " --merge " + shellWord(image.software) +
                         " --prefix 'HKEY_LOCAL_MACHINE\\SOFTWARE' " + shellWord(regFile)),
              "");
    auto reg = image.open();
    Key k = kNullKey;
    ASSERT_EQ(reg->openKeyEx(kLocalMachine, "Software\\sv.ini", kKeyRead, &k), kSuccess);
    char name[64];
    std::vector<std::string> keys;
    for (std::uint32_t i = 0; reg->enumKey(k, i, name, sizeof name) == kSuccess; ++i) {
        keys.push_back(name);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"alpha", "Zeta"}));
    reg->closeKey(k);
    ASSERT_EQ(reg->openKeyEx(kLocalMachine, "Software\\SV.INI\\ALPHA", kKeyRead, &k), kSuccess);
    static const struct {
        const char* name;
        std::uint32_t type;
        std::string bytes;
    } expected[] = {
        {"DataType", kRegSz, std::string("String\0", 7)},
        {"Bin", kRegBinary, "vr\n"},
        {"Num", kRegDword, std::string("\x2a\0\0\0", 4)},
        {"", kRegSz, std::string("def\0", 4)},
    };
    for (const auto& e : expected) {
        unsigned char buf[64];
        std::uint32_t size = sizeof buf, type = 0;
        ASSERT_EQ(reg->queryValueEx(k, e.name, &type, buf, &size), kSuccess) << e.name;
        EXPECT_EQ(type, e.type) << e.name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), e.bytes) << e.name;
    }
    reg->closeKey(k);
}

}  // namespace
}  // namespace vrk::reg::hive
