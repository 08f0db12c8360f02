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

constexpr char kPeer[] = "/usr/bin/hivexregedit";

// Runs command; its standard output, or "<exit N>" when it failed.
std::string run(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return "<popen failed>";
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = ::pclose(p);
    if (status != 0) return "<exit " + std::to_string(status) + ">";
    return out;
}

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
        run(std::string(kPeer) + " --export --prefix 'HKEY_LOCAL_MACHINE\\SOFTWARE' " +
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
    ASSERT_EQ(run(std::string(kPeer) + " --merge " + shellWord(image.software) +
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
