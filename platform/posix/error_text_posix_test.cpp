// The texts of the Linux table of system error numbers: Windows' own wording.
#include <gtest/gtest.h>

#include "platform/error_text.hpp"

TEST(SystemErrorMessagePosix, TableTexts) {
    const struct {
        unsigned long id;
        const char* text;
    } cases[] = {
        {2, "The system cannot find the file specified."},
        {5, "Access is denied."},
        {50, "The request is not supported."},
        {998, "Invalid access to memory location."},
        {1010, "The configuration registry key is invalid."},
        {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    };
    for (const auto& c : cases) {
        char buffer[256];
        ASSERT_TRUE(vrk::platform::systemErrorMessage(c.id, buffer, sizeof buffer)) << c.id;
        EXPECT_STREQ(buffer, c.text);
    }
}
