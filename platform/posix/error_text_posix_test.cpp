// The texts of the Linux table of system error numbers.
#include <gtest/gtest.h>

#include "platform/error_text.hpp"

TEST(SystemErrorMessagePosix, TableTexts) {
    const struct {
        unsigned long id;
        const char* text;
    } cases[] = {
        {2, "The key or value does not exist."},
        {5, "Access to the key or value was refused."},
        {1018, "The key has been deleted."},
    };
    for (const auto& c : cases) {
        char buffer[256];
        ASSERT_TRUE(vrk::platform::systemErrorMessage(c.id, buffer, sizeof buffer)) << c.id;
        EXPECT_STREQ(buffer, c.text);
    }
}
