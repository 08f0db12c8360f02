// The platform's texts for system error numbers.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/error_text.hpp"
#include "platform/process.hpp"
#include "registry/iregistry.hpp"

// Every number the registry layer returns has the text Windows gives it.
// Wine departs from Windows here: its system message table words every text
// in its own shorter way ("Access denied." where Windows says "Access is
// denied."), so under Wine each case expects Wine's words.
TEST(SystemErrorMessageTest, EveryRegistryErrorHasWindowsText) {
    const struct {
        long error;
        const char* windows;
        const char* wine;
    } cases[] = {
        {vrk::reg::kSuccess, "The operation completed successfully.", "Success."},
        {vrk::reg::kFileNotFound, "The system cannot find the file specified.", "File not found."},
        {vrk::reg::kAccessDenied, "Access is denied.", "Access denied."},
        {vrk::reg::kInvalidHandle, "The handle is invalid.", "Invalid handle."},
        {vrk::reg::kNotEnoughMemory,
         "Not enough memory resources are available to process this command.",
         "Not enough memory."},
        {vrk::reg::kInvalidParameter, "The parameter is incorrect.", "Invalid parameter."},
        {vrk::reg::kBadPathname, "The specified path is invalid.", "Path is invalid."},
        {vrk::reg::kMoreData, "More data is available.", "More data available."},
        {vrk::reg::kNoMoreItems, "No more data is available.", "No more data available."},
        {vrk::reg::kBadDb, "The configuration registry database is corrupt.", "Registry corrupt."},
        {vrk::reg::kBadKey, "The configuration registry key is invalid.", "Invalid key."},
        {vrk::reg::kRegistryIoFailed,
         "An I/O operation initiated by the registry failed unrecoverably. The registry could not "
         "read in, or write out, or flush, one of the files that contain the system's image of the "
         "registry.",
         "I/O to registry failed."},
        {vrk::reg::kKeyDeleted,
         "Illegal operation attempted on a registry key that has been marked for deletion.",
         "Key deleted."},
    };
    const bool wine = vrk::platform::runsUnderWine();
    for (const auto& c : cases) {
        char buffer[256];
        ASSERT_TRUE(vrk::platform::systemErrorMessage(c.error, buffer, sizeof buffer)) << c.error;
        EXPECT_STREQ(buffer, wine ? c.wine : c.windows) << c.error;
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
