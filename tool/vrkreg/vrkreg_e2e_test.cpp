// The vrkreg program itself, run against a store in a temporary directory
// chosen through the environment.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tool/vrkreg/regfile_text.hpp"
#include "tool/vrkreg/vrkreg_test_support.hpp"

namespace vrk::regfile {
namespace {

using testing::readFile;
using testing::writeFile;

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// build-dir/bin/vrkreg, as the build names it.
std::string program() { return VRKREG_PROGRAM; }

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class ProgramTest : public ::testing::Test {
protected:
    vrk::reg::testing::TempDir dir;
    std::string store = dir.file("store");
    std::string wrapper;     // a command that runs the program, such as strace
    std::string stdoutPath;  // where standard output goes, when not to a file of the test

    // Runs vrkreg with the arguments, the store chosen by the variable
    // envName (the other form unset).
    Outcome vrkreg(const std::vector<std::string>& args, const char* envName = "TORQA_REGISTRY",
                   const std::string& storeDir = "") {
        std::string cmd =
            "env -u 'TORQA REGISTRY' -u TORQA_REGISTRY " +
            quoted(std::string(envName) + "=" + (storeDir.empty() ? store : storeDir)) + " " +
            wrapper + quoted(program());
        for (const std::string& a : args) cmd += " " + quoted(a);
        cmd += " >" + quoted(stdoutPath.empty() ? dir.file("stdout") : stdoutPath) + " 2>" +
               quoted(dir.file("stderr"));
        const int raw = std::system(cmd.c_str());
        Outcome r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = readFile(dir.file("stdout"));
        r.err = readFile(dir.file("stderr"));
        return r;
    }

    void ok(const std::vector<std::string>& args) {
        const Outcome r = vrkreg(args);
        ASSERT_EQ(r.status, 0) << args[0] << ": " << r.err;
    }
};

TEST_F(ProgramTest, AddQueryExportDeleteImport) {
    ok({"add", "HKLM\\Software\\SV.INI\\CobolPopulate", "/v", "Count", "/t", "REG_DWORD", "/d",
        "0x2a"});
    ok({"add", "HKLM\\Software\\SV.INI\\CobolPopulate", "/v", "Options", "/d", "NOC NOEXIT ADATA"});
    ok({"add", "HKLM\\Software\\SV.INI\\CobolPopulate\\Empty"});
    ok({"delete", "HKLM\\Software\\SV.INI\\CobolPopulate\\Empty", "/ve", "/f"});
    ok({"add", "HKLM\\Software\\SV.INI\\Bytes", "/ve", "/t", "REG_BINARY", "/d", "000100ff"});

    Outcome q = vrkreg({"query", "HKLM\\Software\\SV.INI", "/s"});
    ASSERT_EQ(q.status, 0) << q.err;
    const std::string listing =
        "\nHKEY_LOCAL_MACHINE\\Software\\SV.INI\\Bytes\n"
        "    (Default)    REG_BINARY    000100FF\n\n"
        "HKEY_LOCAL_MACHINE\\Software\\SV.INI\\CobolPopulate\n"
        "    Count    REG_DWORD    0x2a\n"
        "    Options    REG_SZ    NOC NOEXIT ADATA\n\n"
        "HKEY_LOCAL_MACHINE\\Software\\SV.INI\\CobolPopulate\\Empty\n\n";
    EXPECT_EQ(q.out, listing);
    EXPECT_EQ(q.err, "");

    Outcome e = vrkreg({"export", "HKLM\\Software\\SV.INI", dir.file("sv.reg")});
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.out, "The operation completed successfully.\n");
    const std::string exported = readFile(dir.file("sv.reg"));
    EXPECT_EQ(exported.substr(0, 2), "\xFF\xFE");

    Outcome toStdout = vrkreg({"export", "HKLM\\Software\\SV.INI", "-"});
    ASSERT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, exported);

    ok({"delete", "HKLM\\Software\\SV.INI", "/f"});
    Outcome gone = vrkreg({"query", "HKLM\\Software\\SV.INI"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.out, "");
    EXPECT_EQ(gone.err,
              "vrkreg query: cannot open HKEY_LOCAL_MACHINE\\Software\\SV.INI: error 2 (The system "
              "cannot find "
              "the file specified.)\n");

    Outcome i = vrkreg({"import", dir.file("sv.reg")});
    ASSERT_EQ(i.status, 0) << i.err;
    q = vrkreg({"query", "HKLM\\Software\\SV.INI", "/s"});
    EXPECT_EQ(q.out, listing);
    EXPECT_EQ(vrkreg({"export", "HKLM\\Software\\SV.INI", "-"}).out, exported);
}

TEST_F(ProgramTest, TheStoreDirectoryComesFromEitherFormOfTheVariable) {
    const Outcome a = vrkreg({"add", "HKCU\\Env", "/v", "v", "/d", "blank form"}, "TORQA REGISTRY");
    ASSERT_EQ(a.status, 0) << a.err;
    const Outcome q = vrkreg({"query", "HKCU\\Env", "/v", "v"}, "TORQA_REGISTRY");
    EXPECT_EQ(q.out, "\nHKEY_CURRENT_USER\\Env\n    v    REG_SZ    blank form\n\n");
    EXPECT_TRUE(std::filesystem::exists(store));
    // Another directory is another store.
    const Outcome other = vrkreg({"query", "HKCU\\Env"}, "TORQA_REGISTRY", dir.file("other"));
    EXPECT_EQ(other.status, 1);
}

TEST_F(ProgramTest, ExitStatusesAndUsage) {
    static const struct {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{}, 1, "", "vrkreg: a command is missing\nType \"vrkreg /?\" for usage.\n"},
        {{"/?"}, 0, "Usage: vrkreg COMMAND ARGUMENTS", ""},
        {{"-h"}, 0, "Usage: vrkreg COMMAND ARGUMENTS", ""},
        {{"export", "/?"}, 0, "Usage: vrkreg export KEY FILE [/y]", ""},
        {{"copy", "a", "b"},
         1,
         "",
         "vrkreg: unknown command \"copy\"\nType \"vrkreg /?\" for usage.\n"},
        {{"add", "HKXX\\a"}, 1, "", "vrkreg add: invalid key \"HKXX\\a\""},
        {{"delete", "HKLM\\NotThere"},
         1,
         "",
         "vrkreg delete: cannot delete HKEY_LOCAL_MACHINE\\NotThere: error 2"},
    };
    for (const auto& c : cases) {
        const Outcome r = vrkreg(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    }
}

TEST_F(ProgramTest, ExportDoesNotReplaceAFileWithoutY) {
    ok({"add", "HKU\\X", "/v", "v", "/d", "1"});
    writeFile(dir.file("keep.reg"), "do not touch");
    const Outcome r = vrkreg({"export", "HKU\\X", dir.file("keep.reg")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vrkreg export: cannot export to " + dir.file("keep.reg") +
                         ": the file exists (add /y to replace it)\n");
    EXPECT_EQ(readFile(dir.file("keep.reg")), "do not touch");
    ok({"export", "HKU\\X", dir.file("keep.reg"), "/y"});
    EXPECT_NE(readFile(dir.file("keep.reg")), "do not touch");
}

// A target that is not a regular file is written into as it is, never
// replaced by one; a regular file that is replaced keeps its permissions.
TEST_F(ProgramTest, ExportWritesIntoWhatIsNotARegularFileAndKeepsAFilesMode) {
    ok({"add", "HKU\\X", "/v", "v", "/d", "1"});
    const std::string expected = vrkreg({"export", "HKU\\X", "-"}).out;
    ASSERT_FALSE(expected.empty());

    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = readFile(fifo); });
    const Outcome toFifo = vrkreg({"export", "HKU\\X", fifo, "/y"});
    reader.join();
    EXPECT_EQ(toFifo.status, 0) << toFifo.err;
    EXPECT_EQ(received, expected);
    EXPECT_EQ(std::filesystem::symlink_status(fifo).type(), std::filesystem::file_type::fifo);

    // A device through a link: neither is replaced.
    const std::string null = dir.file("null");
    std::filesystem::create_symlink("/dev/null", null);
    const Outcome toDevice = vrkreg({"export", "HKU\\X", null, "/y"});
    EXPECT_EQ(toDevice.status, 0) << toDevice.err;
    EXPECT_TRUE(std::filesystem::is_symlink(null));
    EXPECT_EQ(std::filesystem::status("/dev/null").type(), std::filesystem::file_type::character);

    const std::string secret = dir.file("secret.reg");
    writeFile(secret, "old");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    ok({"export", "HKU\\X", secret, "/y"});
    EXPECT_EQ(readFile(secret), expected);
    struct stat st {};
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// A change is reported as made when it was made: another process reading an
// older state of the store at the end of the run does not fail it.
TEST_F(ProgramTest, AReaderHoldingTheStoreDoesNotFailAChange) {
    ok({"add", "HKLM\\R", "/v", "v", "/d", "1"});
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open((store + "/registry.db").c_str(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    const Outcome add = vrkreg({"add", "HKLM\\R", "/v", "w", "/d", "2"});
    const Outcome del = vrkreg({"delete", "HKLM\\R", "/v", "v", "/f"});
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    EXPECT_EQ(add.status, 0) << add.err;
    EXPECT_EQ(del.status, 0) << del.err;
    EXPECT_EQ(vrkreg({"query", "HKLM\\R"}).out,
              "\nHKEY_LOCAL_MACHINE\\R\n    w    REG_SZ    2\n\n");
}

// The same content in 8-bit and UTF-16 text with every kind of line end
// imports to the same store.
TEST_F(ProgramTest, ImportReadsEveryEncodingAndLineEnd) {
    const std::string lines[] = {
        "Windows Registry Editor Version 5.00",
        "",
        "[HKEY_CLASSES_ROOT\\.vrk]",
        "@=\"vrk file\"",
        "\"Bin\"=hex:00,00,01,\\",
        "  02",
        "\"Exp\"=hex(2):25,00,41,00,25,00,00,00",
        "",
        "[HKEY_CLASSES_ROOT\\.vrk\\Sub]",
        "\"Caf\xC3\xA9\"=dword:00000001",
    };
    std::string reference;
    int variant = 0;
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        std::string text;
        for (const std::string& l : lines) text += l + eol;
        for (const bool wide : {false, true}) {
            const std::string file = dir.file("in" + std::to_string(variant) + ".reg");
            const std::string storeDir = dir.file("store" + std::to_string(variant));
            ++variant;
            writeFile(file, wide ? "\xFF\xFE" + storeBytesToUtf16le(text) : text);
            const Outcome i = vrkreg({"import", file}, "TORQA_REGISTRY", storeDir);
            ASSERT_EQ(i.status, 0) << i.err;
            const Outcome e = vrkreg({"export", "HKCR\\.vrk", "-"}, "TORQA_REGISTRY", storeDir);
            ASSERT_EQ(e.status, 0) << e.err;
            if (reference.empty()) reference = e.out;
            EXPECT_EQ(e.out, reference) << "variant " << variant;
        }
    }
    EXPECT_EQ(reference,
              "\xFF\xFE" + storeBytesToUtf16le("Windows Registry Editor Version 5.00\r\n\r\n"
                                               "[HKEY_CLASSES_ROOT\\.vrk]\r\n"
                                               "@=\"vrk file\"\r\n"
                                               "\"Bin\"=hex:00,00,01,02\r\n"
                                               "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n\r\n"
                                               "[HKEY_CLASSES_ROOT\\.vrk\\Sub]\r\n"
                                               "\"Caf\xC3\xA9\"=dword:00000001\r\n\r\n"));
}

TEST_F(ProgramTest, AMalformedImportChangesNothing) {
    ok({"add", "HKLM\\Keep", "/v", "v", "/d", "before"});
    const std::string before = vrkreg({"export", "HKLM", "-"}).out;
    writeFile(dir.file("bad.reg"),
              "REGEDIT4\r\n[-HKEY_LOCAL_MACHINE\\Keep]\r\n[HKEY_LOCAL_MACHINE\\New]\r\n\"a\"=dword:"
              "0x1\r\n");
    const Outcome r = vrkreg({"import", dir.file("bad.reg")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vrkreg import: " + dir.file("bad.reg") +
                  ":4: dword value needs 1 to 8 hex digits (no 0x prefix); nothing was imported\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(vrkreg({"export", "HKLM", "-"}).out, before);
}

// Input that cannot be read twice (a pipe) is kept in a temporary copy
// between the check and the import.
TEST_F(ProgramTest, ImportReadsAPipe) {
    writeFile(dir.file("in.reg"), "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Piped]\r\n\"v\"=\"1\"\r\n");
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(std::system(("mkfifo " + quoted(fifo) + " && (cat " + quoted(dir.file("in.reg")) +
                           " >" + quoted(fifo) + " &)")
                              .c_str()),
              0);
    const Outcome r = vrkreg({"import", fifo});
    EXPECT_EQ(r.status, 0) << r.err;
    const Outcome q = vrkreg({"query", "HKLM\\Piped", "/v", "v"});
    EXPECT_EQ(q.out, "\nHKEY_LOCAL_MACHINE\\Piped\n    v    REG_SZ    1\n\n");
}

// Output that cannot be written fails the command, with the reason.
TEST_F(ProgramTest, AFullStandardOutputIsAFailure) {
    ok({"add", "HKLM\\Q", "/v", "x", "/d", "1"});
    stdoutPath = "/dev/full";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"query", "HKLM\\Q"},
                                               {"query", "HKLM\\Q", "/s"},
                                               {"export", "HKLM\\Q", "-"},
                                               {"/?"}}) {
        const Outcome r = vrkreg(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("standard output"), std::string::npos) << r.err;
    }
}

// An input the system fails to read imports nothing, whether its first read
// fails (/proc/self/mem) or one in the middle of the file.
TEST_F(ProgramTest, AReadErrorImportsNothing) {
    const Outcome mem = vrkreg({"import", "/proc/self/mem"});
    EXPECT_EQ(mem.status, 1);
    EXPECT_EQ(
        mem.err,
        "vrkreg import: cannot read /proc/self/mem: Input/output error; nothing was imported\n");

    const Outcome zero = vrkreg({"import", "/dev/zero"});
    EXPECT_EQ(zero.status, 1);
    EXPECT_EQ(zero.err,
              "vrkreg import: /dev/zero:1: NUL character in the line; nothing was imported\n");

    if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    // Large enough to need many reads, each line valid on its own.
    std::string file = "REGEDIT4\r\n";
    for (int i = 0; i < 20000; ++i)
        file += "[HKEY_LOCAL_MACHINE\\Big\\K" + std::to_string(i) +
                "]\r\n\"v\"=\"xxxxxxxxxxxxxxxxxxxx\"\r\n";
    const std::string path = dir.file("big.reg");
    writeFile(path, file);
    for (const char* failing :
         {"3", "30"}) {  // in the check pass and in the pass that applies the file
        // LeakSanitizer cannot work under ptrace: a sanitizer build runs without it here.
        wrapper = "\"ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0\" strace -qq -o /dev/null -P " +
                  quoted(path) + " -e trace=read -e inject=read:error=EIO:when=" + failing + " ";
        const Outcome r = vrkreg({"import", path});
        wrapper.clear();
        EXPECT_EQ(r.status, 1) << failing;
        EXPECT_EQ(r.err, "vrkreg import: cannot read " + path +
                             ": Input/output error; nothing was imported\n");
        EXPECT_EQ(vrkreg({"query", "HKLM\\Big"}).status, 1) << "something was imported";
    }
}

}  // namespace
}  // namespace vrk::regfile
