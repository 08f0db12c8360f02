// The typical installer run on an offline Windows image: the example profile
// imported into the image's SOFTWARE hive (a 64-bit image, so below
// Wow6432Node) gives the same report, trace and profile as on our own store.
#include <sys/stat.h>

#include "registry/hive/hive_test_support.hpp"
#include "tests/harness/vrkini_fixture.hpp"

namespace vrk::test {
namespace {

class HiveImage : public VrkiniTest {
protected:
    void SetUp() override {
        VrkiniTest::SetUp();
        if (HasFatalFailure()) return;
        ourStore_ = storeDir_;
        imageDir_ = root_ + "/config";
        ASSERT_EQ(::mkdir(imageDir_.c_str(), 0755), 0);
        std::string error;
        ASSERT_TRUE(reg::hive::writeEmptyHive(imageDir_ + "/SOFTWARE", "ROOT", &error)) << error;
        ASSERT_TRUE(reg::hive::writeEmptyHive(imageDir_ + "/SYSTEM", "ROOT", &error)) << error;
        {
            reg::hive::HiveRegistry whole(
                {reg::hive::HiveMount{reg::kLocalMachine, "", imageDir_ + "/SOFTWARE", false}});
            reg::Key k = reg::kNullKey;
            ASSERT_EQ(whole.createKeyEx(reg::kLocalMachine, "Wow6432Node", 0, reg::kKeyReadWrite,
                                        &k, nullptr),
                      reg::kSuccess);
            whole.closeKey(k);
        }
        const std::string example = sourceDirectory() + "/examples/sv-ini.reg";
        importRegFile(example);
        useImage();
        importRegFile(example);
        useOurStore();
    }
    void useImage() { storeDir_ = "hive:" + imageDir_; }
    void useOurStore() { storeDir_ = ourStore_; }
    std::string exportOfProfile() {
        const ProgramRun run = runVrkreg({"export", "HKLM\\Software\\SV.INI", "-"});
        EXPECT_EQ(run.exitStatus, 0) << run.standardError;
        return run.standardOutput;
    }
    std::string queryOfProfile() {
        const ProgramRun run = runVrkreg({"query", "HKLM\\Software\\SV.INI", "/s"});
        EXPECT_EQ(run.exitStatus, 0) << run.standardError;
        return run.standardOutput;
    }

    std::string ourStore_;
    std::string imageDir_;
};

TEST_F(HiveImage, TypicalRunMatchesOurStore) {
    const std::string storeBefore = exportOfProfile();
    useImage();
    EXPECT_EQ(exportOfProfile(), storeBefore);

    useOurStore();
    const ProgramRun onStore = runVrkini({"-UPDATE", "C:\\SELVARINE"}, Trace::noPrefixStdout);
    const std::string storeAfter = exportOfProfile();
    const std::string storeListing = queryOfProfile();
    useImage();
    const ProgramRun onImage = runVrkini({"-UPDATE", "C:\\SELVARINE"}, Trace::noPrefixStdout);
    EXPECT_EQ(onImage.exitStatus, onStore.exitStatus);
    EXPECT_EQ(onImage.standardOutput, onStore.standardOutput);
    EXPECT_EQ(onImage.standardError, onStore.standardError);
    EXPECT_NE(storeAfter, storeBefore) << "the run changes the profile";
    EXPECT_EQ(exportOfProfile(), storeAfter);
    EXPECT_EQ(queryOfProfile(), storeListing);

    // The profile lives in the 32-bit view of the image.
    reg::hive::testing::Peek software(imageDir_ + "/SOFTWARE");
    ASSERT_TRUE(software.ok());
    EXPECT_NE(software.node("Wow6432Node\\SV.INI\\WorkStation"), 0u);
    EXPECT_EQ(software.node("SV.INI"), 0u);
}

}  // namespace
}  // namespace vrk::test
