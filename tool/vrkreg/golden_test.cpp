// Exports compared byte for byte with Wine's `reg export`. Each input in
// golden/ was imported into Wine and exported with its reg command; the
// result is the matching wine-*.reg file. Here the same input goes through
// our import and export, and the bytes must be the same. Wine is not needed
// to run these tests; golden/README.md tells how the files were made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "tool/vrkreg/regfile_text.hpp"
#include "tool/vrkreg/vrkreg_test_support.hpp"

namespace vrk::regfile {
namespace {

namespace fs = std::filesystem;
using testing::CommandTest;
using testing::readFile;

// Every input in golden/ imports below this key.
const char* const kGoldenKey = "HKEY_CURRENT_USER\\Software\\VrkGolden";

// The names of the fixture pairs: input-NAME.reg and wine-NAME.reg.
const char* const kCases[] = {
    "binary",        "keys",    "names", "numbers", "replace-lf", "strings", "text-types-regedit4",
    "text-types-v5", "unicode",
};

std::string goldenDirectory() {
    if (const char* source = std::getenv("VRK_SOURCE_DIR"); source && *source)
        return std::string(source) + "/tool/vrkreg/golden";
    return (fs::path(__FILE__).parent_path() / "golden").string();
}

// Where two export files part: the line number and both lines as text, so
// that a failure reads without a hex dump.
std::string firstDifference(const std::string& expected, const std::string& actual) {
    auto text = [](const std::string& file) {
        std::string out;
        std::string why;
        if (file.size() < 2 || file.compare(0, 2, "\xFF\xFE") != 0)
            return std::string("<no byte-order mark>");
        if (!utf16leToStoreBytes(std::string_view(file).substr(2), out, &why))
            return "<not UTF-16: " + why + ">";
        return out;
    };
    const std::string e = text(expected);
    const std::string a = text(actual);
    std::size_t line = 1, start = 0;
    const std::size_t limit = std::min(e.size(), a.size());
    std::size_t i = 0;
    while (i < limit && e[i] == a[i]) {
        if (e[i] == '\n') {
            ++line;
            start = i + 1;
        }
        ++i;
    }
    auto lineAt = [start](const std::string& s) {
        const std::size_t end = s.find('\n', start);
        return start >= s.size() ? std::string("<end of file>") : s.substr(start, end - start);
    };
    return "first difference in line " + std::to_string(line) + "\n  Wine: " + lineAt(e) +
           "\n  ours: " + lineAt(a) + "\n(file sizes " + std::to_string(expected.size()) + " and " +
           std::to_string(actual.size()) + ")";
}

class GoldenExport : public CommandTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string input() const { return goldenDirectory() + "/input-" + GetParam() + ".reg"; }
    std::string wine() const { return goldenDirectory() + "/wine-" + GetParam() + ".reg"; }

    // Imports file into the (empty) scratch store and returns our export of
    // the golden key.
    std::string importAndExport(const std::string& file) {
        ok({"import", file});
        if (HasFatalFailure()) return {};
        ok({"export", kGoldenKey, path("ours.reg")});
        if (HasFatalFailure()) return {};
        return readFile(path("ours.reg"));
    }
};

TEST_P(GoldenExport, SameInputGivesTheBytesWineWrites) {
    const std::string expected = readFile(wine());
    ASSERT_FALSE(expected.empty()) << "missing fixture " << wine();
    const std::string ours = importAndExport(input());
    EXPECT_TRUE(ours == expected) << firstDifference(expected, ours);
}

// Wine's own export, read by our import, comes out unchanged.
TEST_P(GoldenExport, WinesExportReadsBackToTheSameBytes) {
    const std::string expected = readFile(wine());
    ASSERT_FALSE(expected.empty()) << "missing fixture " << wine();
    const std::string ours = importAndExport(wine());
    EXPECT_TRUE(ours == expected) << firstDifference(expected, ours);
}

INSTANTIATE_TEST_SUITE_P(Wine, GoldenExport, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// A fixture pair added to golden/ but not to kCases would never be compared.
TEST(GoldenFixtures, EveryInputHasWinesExportAndIsCompared) {
    const std::set<std::string> listed(std::begin(kCases), std::end(kCases));
    std::set<std::string> inputs, exports;
    for (const fs::directory_entry& entry : fs::directory_iterator(goldenDirectory())) {
        const std::string file = entry.path().filename().string();
        if (entry.path().extension() != ".reg") continue;
        const std::string stem = entry.path().stem().string();
        if (stem.rfind("input-", 0) == 0) {
            inputs.insert(stem.substr(6));
        } else if (stem.rfind("wine-", 0) == 0) {
            exports.insert(stem.substr(5));
        } else {
            ADD_FAILURE() << "unexpected file in golden/: " << file;
        }
    }
    EXPECT_EQ(inputs, listed);
    EXPECT_EQ(exports, listed);
}

}  // namespace
}  // namespace vrk::regfile
