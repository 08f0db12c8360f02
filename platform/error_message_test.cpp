// The platform's texts for system error numbers.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/error_text.hpp"
#include "platform/registry/iregistry.hpp"

// Every number the registry layer returns has the text Windows gives it.
TEST(SystemErrorMessageTest, EveryRegistryErrorHasWindowsText) {
    const struct {
        long error;
        const char* text;
    } cases[] = {
        {vrk::reg::kSuccess, "The operation completed successfully."},
        {vrk::reg::kFileNotFound, "The system cannot find the file specified."},
        {vrk::reg::kAccessDenied, "Access is denied."},
        {vrk::reg::kInvalidHandle, "The handle is invalid."},
        {vrk::reg::kNotEnoughMemory,
         "Not enough memory resources are available to process this command."},
        {vrk::reg::kInvalidParameter, "The parameter is incorrect."},
        {vrk::reg::kBadPathname, "The specified path is invalid."},
        {vrk::reg::kMoreData, "More data is available."},
        {vrk::reg::kNoMoreItems, "No more data is available."},
        {vrk::reg::kBadDb, "The configuration registry database is corrupt."},
        {vrk::reg::kBadKey, "The configuration registry key is invalid."},
        {vrk::reg::kRegistryIoFailed,
         "An I/O operation initiated by the registry failed unrecoverably. The registry could not "
         "read in, or write out, or flush, one of the files that contain the system's image of the "
         "registry."},
        {vrk::reg::kKeyDeleted,
         "Illegal operation attempted on a registry key that has been marked for deletion."},
    };
    for (const auto& c : cases) {
        char buffer[256];
        ASSERT_TRUE(vrk::platform::systemErrorMessage(c.error, buffer, sizeof buffer)) << c.error;
        EXPECT_STREQ(buffer, c.text) << c.error;
    }
}

TEST(SystemErrorMessageTest, UnknownNumberHasNoText) {
    char buffer[256] = "junk";
    EXPECT_FALSE(vrk::platform::systemErrorMessage(424242, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
}

TEST(SystemErrorMessageTest, TextIsCutToTheBuffer) {
    char whole[256];
    ASSERT_TRUE(vrk::platform::systemErrorMessage(vrk::reg::kFileNotFound, whole, sizeof whole));
    ASSERT_GT(std::strlen(whole), 7u);
    char buffer[8];
    ASSERT_TRUE(vrk::platform::systemErrorMessage(vrk::reg::kFileNotFound, buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), std::string(whole, 7));
}
