// The error-text objects.
#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "diag/iexc.hpp"
#include "platform/error_text.hpp"
#include "platform/process.hpp"

TEST(ErrorTextTest, SystemErrorTextUsesThePlatformMessage) {
    char notFound[256], denied[256];
    ASSERT_TRUE(vrk::platform::systemErrorMessage(2, notFound, sizeof notFound));
    ASSERT_TRUE(vrk::platform::systemErrorMessage(5, denied, sizeof denied));
    ISystemErrorText named(2, "RegOpenKeyEx");
    EXPECT_EQ(named.errorId(), 2u);
    EXPECT_EQ(std::string(named.text()), std::string("RegOpenKeyEx:") + notFound);

    ISystemErrorText plain(5);
    EXPECT_STREQ(plain.text(), denied);

    ISystemErrorText unknown(123456, "Call");
    EXPECT_EQ(unknown.errorId(), 123456u);
    EXPECT_STREQ(unknown.text(), "Call:No error text is available.");
    EXPECT_STREQ(ISystemErrorText(123456).text(), "No error text is available.");
}

TEST(ErrorTextTest, CLibraryErrorTextUsesErrnoAndItsMessage) {
    errno = ENOENT;
    ICLibraryErrorText named("fopen");
    EXPECT_EQ(named.errorId(), static_cast<unsigned long>(ENOENT));
    EXPECT_EQ(std::string(named.text()), std::string("fopen:") + std::strerror(ENOENT));

    errno = EACCES;
    ICLibraryErrorText plain;
    EXPECT_EQ(plain.errorId(), static_cast<unsigned long>(EACCES));
    EXPECT_STREQ(plain.text(), std::strerror(EACCES));
}

TEST(ErrorTextTest, WindowSystemErrorTextUsesTheLastError) {
    vrk::platform::setLastError(87);
    IWindowSystemErrorText named("RegSetValueEx");
    EXPECT_EQ(named.errorId(), 87u);
    EXPECT_STREQ(named.text(), "RegSetValueEx:No error text is available.");

    vrk::platform::setLastError(0);
    IWindowSystemErrorText plain;
    EXPECT_EQ(plain.errorId(), 0u);
    EXPECT_STREQ(plain.text(), "No error text is available.");
}

TEST(ErrorTextTest, EmptyCallNameStillGetsTheColon) {
    vrk::platform::setLastError(6);
    EXPECT_STREQ(IWindowSystemErrorText("").text(), ":No error text is available.");
}
