// The boot id on Linux: the kernel's, until a test forces another.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/process.hpp"

namespace {

TEST(BootId, IsTheKernelsUntilATestForcesAnother) {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string kernels;
    ASSERT_TRUE(std::getline(in, kernels)) << "/proc/sys/kernel/random/boot_id is not readable";
    ASSERT_FALSE(kernels.empty());
    EXPECT_EQ(vrk::platform::bootId(), kernels);
    EXPECT_EQ(vrk::platform::bootId(), kernels) << "the same on every call";

    vrk::platform::forceBootId("another boot");
    EXPECT_EQ(vrk::platform::bootId(), "another boot");
    vrk::platform::forceBootId("");
    EXPECT_EQ(vrk::platform::bootId(), "") << "a boot that cannot be told";
    vrk::platform::clearForcedBootId();
    EXPECT_EQ(vrk::platform::bootId(), kernels);
}

}  // namespace
