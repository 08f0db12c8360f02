// The hive store on hives it did not write: hivex's public test images
// (tests/hives, see SOURCES there) read as hivexregedit --export reads them,
// and copies of them changed the way real hives come to differ: names with
// a zero character, text that is not clean UTF-16, damaged records, a
// subkey list that loops, a hive not shut down cleanly.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "registry/hive/hive_compact.hpp"
#include "registry/hive/hive_test_support.hpp"
#include "registry/hive/hive_text.hpp"
#include "registry/save_failure.hpp"

namespace vrk::reg::hive {
namespace {

using testing::fileBytes;
using testing::Peek;
using testing::runCommand;
using vrk::reg::testing::TempDir;

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A copy of one of tests/hives in dir, as "SOFTWARE"-like file name.
std::string copyOfImage(const TempDir& dir, const std::string& name) {
    const char* source = std::getenv("VRK_SOURCE_DIR");
    if (source == nullptr) {
        ADD_FAILURE() << "VRK_SOURCE_DIR is not set: the test images cannot be found";
        return "";
    }
    const std::string from = std::string(source) + "/tests/hives/" + name;
    const std::string to = dir.file(name);
    if (name == "large") {
        const std::string bytes = runCommand("xz -dc '" + from + ".xz'");
        if (bytes.rfind("regf", 0) != 0)
            ADD_FAILURE() << "cannot unpack " << from << ".xz: " << bytes;
        writeFile(to, bytes);
    } else {
        const std::string bytes = fileBytes(from);
        if (bytes.empty()) ADD_FAILURE() << "missing test image " << from;
        writeFile(to, bytes);
    }
    return to;
}


std::string hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, out.empty() ? "%02x" : ",%02x", c);
        out += buf;
    }
    return out;
}

// One value line as hivexregedit --export writes it.
std::string exportLine(const std::string& name, std::uint32_t type, const std::string& bytes) {
    std::string line = name.empty() ? "@=" : "\"" + name + "\"=";
    char buf[32];
    if (type == kRegDword && bytes.size() == 4) {
        std::snprintf(buf, sizeof buf, "dword:%08x", get32(bytes, 0));
        return line + buf;
    }
    std::snprintf(buf, sizeof buf, "hex(%x):", type);
    return line + buf + hex(bytes);
}

using Dump = std::map<std::string, std::set<std::string>>;  // key path -> value lines

// hivexregedit's export of file, keyed by path.
Dump peerDump(const std::string& file) {
    Dump dump;
    const std::string text = runCommand("hivexregedit --export '" + file + "' '\\\\' 2>/dev/null");
    EXPECT_EQ(text.rfind("Windows Registry Editor", 0), 0u) << "hivexregedit: " << text;
    std::string key;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() > 2 && line.front() == '[') {
            key = line.substr(1, line.size() - 2);
            dump[key];
        } else if (!line.empty() && (line[0] == '"' || line[0] == '@')) {
            dump[key].insert(line);
        }
    }
    return dump;
}

// The same through our store, mounted whole below HKEY_USERS: text read
// through the ANSI view, turned back into UTF-16 for the comparison.
void ourDump(Registry& reg, Key key, const std::string& path, Dump& dump) {
    auto& lines = dump[path.empty() ? "\\" : path];
    for (std::uint32_t i = 0;; ++i) {
        char name[1024];
        std::uint32_t nameSize = sizeof name, type = 0, size = 0;
        long rc = reg.enumValue(key, i, name, &nameSize, &type, nullptr, &size);
        if (rc == kNoMoreItems) break;
        ASSERT_EQ(rc, kSuccess) << path;
        std::string data(size + 1, '\0');
        nameSize = sizeof name;
        ASSERT_EQ(reg.enumValue(key, i, name, &nameSize, &type,
                                reinterpret_cast<unsigned char*>(data.data()), &size),
                  kSuccess);
        data.resize(size);
        lines.insert(exportLine(std::string(name, nameSize), type,
                                isTextValueType(type) ? bytesToUtf16le(data) : data));
    }
    for (std::uint32_t i = 0;; ++i) {
        char name[512];
        long rc = reg.enumKey(key, i, name, sizeof name);
        if (rc == kNoMoreItems) break;
        ASSERT_EQ(rc, kSuccess) << path;
        Key sub = kNullKey;
        ASSERT_EQ(reg.openKeyEx(key, name, kKeyRead, &sub), kSuccess) << path << "\\" << name;
        ourDump(reg, sub, path + "\\" + name, dump);
        reg.closeKey(sub);
    }
}

HiveRegistry wholeAt(const std::string& file) {
    return HiveRegistry({HiveMount{kUsers, "", file, false}});
}

TEST(RealImages, ReadAsHivexregeditExportsThemAndStayUntouched) {
    for (const char* image : {"minimal", "rlenvalue_test_hive", "large"}) {
        TempDir dir;
        const std::string file = copyOfImage(dir, image);
        const std::string before = fileBytes(file);
        Dump ours;
        {
            HiveRegistry reg = wholeAt(file);
            ourDump(reg, kUsers, "", ours);
        }
        EXPECT_EQ(ours, peerDump(file)) << image;
        EXPECT_EQ(fileBytes(file), before) << image << ": reading wrote the hive";
        EXPECT_NE(::access((file + ".vrk-new").c_str(), F_OK), 0) << image;
    }
}

TEST(RealImages, CompactCopiesExportAsTheOriginalsDo) {
    // Every kind of record a reader reaches: hivex's images hold big values,
    // class names, several security cells, names with a zero character, a
    // value whose length field is odd.
    for (const char* image : {"minimal", "special", "rlenvalue_test_hive", "large"}) {
        TempDir dir;
        const std::string file = copyOfImage(dir, image);
        const std::string before = fileBytes(file);
        std::string compact, why;
        ASSERT_TRUE(compactHive(before, &compact, &why)) << image << ": " << why;
        const std::string copy = dir.file("compact");
        writeFile(copy, compact);
        const std::string exportOf = "hivexregedit --export '";
        const std::string original = runCommand(exportOf + file + "' '\\'");
        ASSERT_EQ(original.rfind("Windows Registry Editor", 0), 0u) << image << ": " << original;
        EXPECT_EQ(runCommand(exportOf + copy + "' '\\'"), original) << image;
        EXPECT_LE(compact.size(), before.size()) << image;
        // Compacting again changes nothing: every cell of the copy is live.
        std::string again;
        ASSERT_TRUE(compactHive(compact, &again, &why)) << image << ": " << why;
        EXPECT_EQ(again, compact) << image;
    }
}

TEST(RealImages, AZeroWrittenIntoAKeysNameLeavesItUnreachableByName) {
    // What scripts/hive-mutate meets as error 2: a damaged copy whose key
    // name holds a zero character. The hive is whole; the key is listed with
    // its whole name, and the name up to the zero, the only one a caller can
    // give, names no key, as for Windows' own names with a zero character.
    TempDir dir;
    const std::string file = copyOfImage(dir, "large");
    std::string bytes = fileBytes(file);
    const hive_node_h node = Peek(file).node("A\\A giant");
    ASSERT_NE(node, 0u);
    ASSERT_EQ(bytes.compare(node + 0x50, 7, "A giant"), 0);
    bytes[node + 0x50 + 1] = '\0';
    writeFile(file, bytes);
    HiveRegistry reg = wholeAt(file);
    Key a = kNullKey;
    ASSERT_EQ(reg.openKeyEx(kUsers, "A", kKeyRead, &a), kSuccess);
    char name[64] = {};
    ASSERT_EQ(reg.enumKey(a, 0, name, sizeof name), kSuccess);
    EXPECT_EQ(std::string(name, 7), std::string("A\0giant", 7));
    Key k = kNullKey;
    EXPECT_EQ(reg.openKeyEx(a, name, kKeyRead, &k), kFileNotFound);
    EXPECT_EQ(reg.openKeyEx(kUsers, "A\\A giant", kKeyRead, &k), kFileNotFound);
    // Elsewhere everything reads.
    Dump ours;
    ASSERT_EQ(reg.openKeyEx(kUsers, "The", kKeyRead, &k), kSuccess);
    ourDump(reg, k, "\\The", ours);
    EXPECT_GT(ours.size(), 100u);
    reg.closeKey(k);
    reg.closeKey(a);
}

TEST(RealImages, DamageFoundWhileCompactingLeavesTheFileAlone) {
    TempDir dir;
    std::string bytes = fileBytes(copyOfImage(dir, "minimal"));
    put32(bytes, 0x24, 0x7FFFFFF0);  // the root out of bounds
    std::string compact, why;
    EXPECT_FALSE(compactHive(bytes, &compact, &why));
    EXPECT_NE(why.find("out of bounds"), std::string::npos) << why;
}

TEST(RealImages, NamesWithAZeroCharacterAreKeptWhole) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "special");
    {
        HiveRegistry reg = wholeAt(file);
        // "zero\0key" is listed whole; no name a caller can give reaches it.
        bool listed = false;
        char name[64];
        for (std::uint32_t i = 0; reg.enumKey(kUsers, i, name, sizeof name) == kSuccess; ++i)
            listed = listed || std::memcmp(name, "zero\0key", 9) == 0;
        EXPECT_TRUE(listed);
        Key k = kNullKey;
        EXPECT_EQ(reg.openKeyEx(kUsers, "zero", kKeyRead, &k), kFileNotFound);
        EXPECT_EQ(reg.deleteKey(kUsers, "zero"), kFileNotFound);
        // A key "zero" beside it is refused: hivex would take the two for
        // one name. Nothing else is harmed.
        EXPECT_EQ(reg.createKeyEx(kUsers, "ZERO\\x", 0, kKeyReadWrite, &k, nullptr), kAccessDenied);
        EXPECT_NE(std::string(reg.lastFailureDetail()).find("zero\\0key"), std::string::npos)
            << reg.lastFailureDetail();
        ASSERT_EQ(reg.createKeyEx(kUsers, "zer", 0, kKeyReadWrite, &k, nullptr), kSuccess);
        ASSERT_EQ(
            reg.setValueEx(k, "other", kRegSz, reinterpret_cast<const unsigned char*>("x"), 1),
            kSuccess);
        reg.closeKey(k);
    }
    const Dump after = peerDump(file);
    ASSERT_EQ(after.count(std::string("\\zero\0key", 9)), 1u);
    EXPECT_EQ(after.at(std::string("\\zero\0key", 9)),
              std::set<std::string>{std::string("\"zero\0val\"=dword:00000000", 25)});
    EXPECT_EQ(after.count("\\zer"), 1u);
    EXPECT_EQ(after.count("\\zero"), 0u);
}

TEST(RealImages, AKeyHoldingAValueNamedWithAZeroIsNotChanged) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "special");
    // The key's own name made plain, so that a caller can open it; its value
    // keeps the zero in its name.
    std::string bytes = fileBytes(file);
    const std::size_t at = bytes.find(std::string("zero\0key", 8));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 4] = '_';
    writeFile(file, bytes);
    {
        HiveRegistry reg = wholeAt(file);
        Key k = kNullKey;
        ASSERT_EQ(reg.openKeyEx(kUsers, "zero_key", kKeyReadWrite, &k), kSuccess);
        char name[64];
        std::uint32_t nameSize = sizeof name;
        ASSERT_EQ(reg.enumValue(k, 0, name, &nameSize, nullptr, nullptr, nullptr), kSuccess);
        EXPECT_EQ(std::string(name, nameSize), std::string("zero\0val", 8));
        EXPECT_EQ(
            reg.setValueEx(k, "other", kRegSz, reinterpret_cast<const unsigned char*>("x"), 1),
            kAccessDenied);
        EXPECT_NE(std::string(reg.lastFailureDetail()).find("zero character"), std::string::npos)
            << reg.lastFailureDetail();
        EXPECT_EQ(reg.deleteValue(k, "zero"), kFileNotFound);
        reg.closeKey(k);
    }
    EXPECT_EQ(fileBytes(file), bytes);
}

TEST(RealImages, TextThatIsNotCleanUtf16ReadsAsWindowsReadsIt) {
    static const struct {
        const char* what;
        std::string stored;  // UTF-16LE as a program stored it
        std::string read;    // what the ANSI view gives
    } cases[] = {
        {"bytes after the terminator", std::string("E\0S\0T\0\0\0\x12\xD8x\0", 12),
         std::string("EST\0\xEF\xBF\xBDx", 8)},
        {"an odd byte count", std::string("a\0b\0\0\0c", 7), std::string("ab\0", 3)},
        {"a lone high surrogate", std::string("a\0\x3D\xD8", 4), "a\xEF\xBF\xBD"},
        {"a lone low surrogate",
         std::string("\x00\xDE"
                     "b\0",
                     4),
         "\xEF\xBF\xBD"
         "b"},
        {"a surrogate pair", std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80"},
    };
    TempDir dir;
    const std::string file = copyOfImage(dir, "minimal");
    {
        hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
        ASSERT_NE(h, nullptr);
        std::vector<std::string> names;
        for (const auto& c : cases) names.push_back(c.what);
        std::vector<hive_set_value> values;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            hive_set_value v{};
            v.key = names[i].data();
            v.t = hive_t_REG_SZ;
            v.len = cases[i].stored.size();
            v.value = const_cast<char*>(cases[i].stored.data());
            values.push_back(v);
        }
        ASSERT_EQ(hivex_node_set_values(h, hivex_root(h), values.size(), values.data(), 0), 0);
        ASSERT_EQ(hivex_commit(h, nullptr, 0), 0);
        hivex_close(h);
    }
    HiveRegistry reg = wholeAt(file);
    for (const auto& c : cases) {
        unsigned char data[64];
        std::uint32_t size = sizeof data, type = 0;
        ASSERT_EQ(reg.queryValueEx(kUsers, c.what, &type, data, &size), kSuccess) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), c.read) << c.what;
    }
    // What hivexget prints of the first is what a reader up to the zero sees.
    char data[64];
    std::uint32_t size = sizeof data;
    ASSERT_EQ(reg.queryValueEx(kUsers, cases[0].what, nullptr,
                               reinterpret_cast<unsigned char*>(data), &size),
              kSuccess);
    EXPECT_EQ(std::string(data) + "\n",
              runCommand("hivexget '" + file + "' '\\' '" + std::string(cases[0].what) + "'"));
}

// The file offset of the cell of value name of the key at path.
std::size_t valueCell(const std::string& file, const std::string& path, const char* name) {
    Peek p(file);
    hive_h* h = hivex_open(file.c_str(), 0);
    const hive_value_h v = hivex_node_get_value(h, p.node(path), name);
    hivex_close(h);
    return v;
}

TEST(RealImages, ADamagedValueRecordIsAnErrorNamingHiveAndKeyAndIsNeverWritten) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "large");
    std::string bytes = fileBytes(file);
    const std::size_t cell = valueCell(file, "A", "A");
    const std::size_t keys = Peek(file).children("").size();
    ASSERT_NE(cell, 0u);
    ASSERT_EQ(bytes.substr(cell + 4, 2), "vk");
    bytes[cell + 4] = 'x';  // no longer a value record
    writeFile(file, bytes);
    {
        HiveRegistry reg = wholeAt(file);
        Key k = kNullKey;
        ASSERT_EQ(reg.openKeyEx(kUsers, "A", kKeyReadWrite, &k), kSuccess);
        std::uint32_t size = 0;
        EXPECT_EQ(reg.queryValueEx(k, "A", nullptr, nullptr, &size), kBadDb);
        const std::string detail = reg.lastFailureDetail();
        EXPECT_NE(detail.find(file + ": key \\A:"), std::string::npos) << detail;
        char name[16];
        std::uint32_t nameSize = sizeof name;
        EXPECT_EQ(reg.enumValue(k, 0, name, &nameSize, nullptr, nullptr, nullptr), kBadDb);
        EXPECT_EQ(reg.setValueEx(k, "new", kRegSz, reinterpret_cast<const unsigned char*>("x"), 1),
                  kBadDb);
        reg.closeKey(k);
        // Keys elsewhere still change.
        ASSERT_EQ(reg.createKeyEx(kUsers, "Elsewhere", 0, kKeyReadWrite, &k, nullptr), kSuccess);
        reg.closeKey(k);
    }
    const std::string after = fileBytes(file);
    EXPECT_EQ(after.substr(cell, 0x20).substr(4, 2), "xk") << "the damaged key was rewritten";
    EXPECT_EQ(Peek(file).children("").size(), keys + 1);
}

TEST(RealImages, ASubkeyListThatLoopsIsAnErrorNotAHang) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "large");
    std::string bytes = fileBytes(file);
    Peek p(file);
    const std::string deep = "A\\A giant\\A giant elephant";
    const std::size_t node = p.node(deep), ancestor = p.node("A");
    ASSERT_NE(node, 0u);
    ASSERT_NE(ancestor, 0u);
    // The key's subkey list ("lf"/"lh": count, then offset and hash per
    // entry) made to point back at \A.
    const std::size_t list = 0x1000 + get32(bytes, node + 0x20);
    ASSERT_EQ(bytes[list + 5], 'h') << "an lh list";
    put32(bytes, list + 8, static_cast<std::uint32_t>(ancestor - 0x1000));
    writeFile(file, bytes);
    HiveRegistry reg = wholeAt(file);
    Dump ours;
    Key k = kNullKey;
    ASSERT_EQ(reg.openKeyEx(kUsers, deep.c_str(), kKeyRead, &k), kSuccess);
    char name[64];
    EXPECT_EQ(reg.enumKey(k, 0, name, sizeof name), kBadDb);
    EXPECT_NE(std::string(reg.lastFailureDetail()).find("\\A giant elephant:"), std::string::npos)
        << reg.lastFailureDetail();
    EXPECT_EQ(reg.openKeyEx(k, "A", kKeyRead, &k), kBadDb);
}

// minimal with its sequence numbers made unequal (its checksum kept right),
// as a hive is left when Windows did not shut down cleanly.
std::string uncleanCopy(const TempDir& dir) {
    const std::string file = copyOfImage(dir, "minimal");
    std::string bytes = fileBytes(file);
    put32(bytes, 4, get32(bytes, 8) + 1);
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 0x1FC; at += 4) sum ^= get32(bytes, at);
    put32(bytes, 0x1FC, sum);
    writeFile(file, bytes);
    return file;
}

TEST(RealImages, AHiveNotShutDownCleanlyIsReadWithAWarningAndNotWritten) {
    TempDir dir;
    const std::string file = uncleanCopy(dir);
    const std::string before = fileBytes(file);
    {
        ::testing::internal::CaptureStderr();
        HiveRegistry reg = wholeAt(file);
        char name[16];
        EXPECT_EQ(reg.enumKey(kUsers, 0, name, sizeof name), kNoMoreItems);
        const std::string warning = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(warning.find("not shut down cleanly"), std::string::npos) << warning;
        Key k = kNullKey;
        EXPECT_EQ(reg.createKeyEx(kUsers, "New", 0, kKeyReadWrite, &k, nullptr), kAccessDenied);
        const std::string detail = reg.lastFailureDetail();
        for (const char* words : {"not shut down cleanly", ".LOG1", "Start the Windows image",
                                  "TORQA_HIVE_LOGS=discard"}) {
            EXPECT_NE(detail.find(words), std::string::npos) << words << " in " << detail;
        }
    }
    EXPECT_EQ(fileBytes(file), before);
    {
        HiveRegistry reg({HiveMount{kUsers, "", file, false, true}});  // the loss accepted
        Key k = kNullKey;
        ASSERT_EQ(reg.createKeyEx(kUsers, "New", 0, kKeyReadWrite, &k, nullptr), kSuccess);
        reg.closeKey(k);
    }
    const std::string after = fileBytes(file);
    EXPECT_EQ(get32(after, 4), get32(after, 8));
}

TEST(RealImages, AChangeThatCannotBeSavedFailsAtTheFirstChange) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "minimal");
    const std::string before = fileBytes(file);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // No room for a new file as large as the hive.
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            4096, 4096
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        HiveRegistry reg = wholeAt(file);
        Key k = kNullKey;
        const long rc = reg.createKeyEx(kUsers, "New", 0, kKeyReadWrite, &k, nullptr);
        const bool named =
            std::string(reg.lastFailureDetail()).find("no room") != std::string::npos;
        ::_exit(rc == kRegistryIoFailed && named ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(fileBytes(file), before);
    EXPECT_NE(::access((file + ".vrk-new").c_str(), F_OK), 0);
}

std::string reported;
void noteSaveFailure(const char* text) { reported = text; }

TEST(RealImages, AFailedLastWriteIsReportedToTheReporter) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "minimal");
    reported.clear();
    setSaveFailureReporter(noteSaveFailure);
    {
        HiveRegistry reg = wholeAt(file);
        Key k = kNullKey;
        ASSERT_EQ(reg.createKeyEx(kUsers, "New", 0, kKeyReadWrite, &k, nullptr), kSuccess);
        // The new file is taken away: the last write cannot replace the hive.
        ASSERT_EQ(::unlink((file + ".vrk-new").c_str()), 0);
        ASSERT_EQ(::mkdir((file + ".vrk-new").c_str(), 0755), 0);
        reg.closeKey(k);
    }
    setSaveFailureReporter(nullptr);
    EXPECT_NE(reported.find("changes to the hive were not saved"), std::string::npos) << reported;
    EXPECT_NE(reported.find(file), std::string::npos) << reported;
    ::rmdir((file + ".vrk-new").c_str());
}

TEST(RealImages, ANewFileLeftByAKilledWriterGoesAtTheNextOpen) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "minimal");
    writeFile(file + ".vrk-new", std::string(100000, 'x'));
    HiveRegistry reg = wholeAt(file);
    char name[16];
    EXPECT_EQ(reg.enumKey(kUsers, 0, name, sizeof name), kNoMoreItems);
    EXPECT_NE(::access((file + ".vrk-new").c_str(), F_OK), 0);
}

TEST(RealImages, RollbackUndoesTheBatchAndKeepsWhatCameBefore) {
    TempDir dir;
    const std::string file = copyOfImage(dir, "large");
    const Dump original = peerDump(file);
    // A key with no subkeys.
    std::string leaf;
    for (const auto& [path, values] : original) {
        auto next = original.lower_bound(path + "\\");
        const bool hasSubkeys = next != original.end() && next->first.rfind(path + "\\", 0) == 0;
        if (!hasSubkeys && path.size() > 1) leaf = path.substr(1);
    }
    ASSERT_FALSE(leaf.empty());
    {
        HiveRegistry reg = wholeAt(file);
        Key k = kNullKey;
        ASSERT_EQ(reg.createKeyEx(kUsers, "Before", 0, kKeyReadWrite, &k, nullptr), kSuccess);
        reg.closeKey(k);
        ASSERT_EQ(reg.openKeyEx(kUsers, leaf.c_str(), kKeyReadWrite, &k), kSuccess);
        ASSERT_EQ(
            reg.setValueEx(k, "kept", kRegBinary, reinterpret_cast<const unsigned char*>("k"), 1),
            kSuccess);
        reg.closeKey(k);
        ASSERT_EQ(reg.beginBatch(), kSuccess);
        ASSERT_EQ(reg.createKeyEx(kUsers, "Dropped\\Deep", 0, kKeyReadWrite, &k, nullptr),
                  kSuccess);
        reg.closeKey(k);
        ASSERT_EQ(reg.openKeyEx(kUsers, leaf.c_str(), kKeyReadWrite, &k), kSuccess);
        ASSERT_EQ(reg.setValueEx(k, "A", kRegDword,
                                 reinterpret_cast<const unsigned char*>("\1\0\0\0"), 4),
                  kSuccess);
        reg.closeKey(k);
        ASSERT_EQ(reg.deleteKey(kUsers, leaf.c_str()), kSuccess);
        ASSERT_EQ(reg.deleteKey(kUsers, "A"), kAccessDenied) << "it has subkeys";
        ASSERT_EQ(reg.rollbackBatch(), kSuccess);
    }
    Dump expected = original;
    expected["\\Before"];
    expected["\\" + leaf].insert("\"kept\"=hex(3):6b");
    EXPECT_EQ(peerDump(file), expected);
}

}  // namespace
}  // namespace vrk::reg::hive
