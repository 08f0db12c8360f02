// The platform's texts for system error numbers.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/error_text.hpp"
#include "platform/registry/iregistry.hpp"

TEST(SystemErrorMessageTest, EveryRegistryErrorHasAText) {
  const long errors[] = {vrk::reg::kFileNotFound,  vrk::reg::kAccessDenied,
                         vrk::reg::kInvalidHandle, vrk::reg::kNotEnoughMemory,
                         vrk::reg::kInvalidParameter, vrk::reg::kBadPathname,
                         vrk::reg::kMoreData,      vrk::reg::kNoMoreItems,
                         vrk::reg::kBadDb,         vrk::reg::kRegistryIoFailed,
                         vrk::reg::kKeyDeleted};
  for (long error : errors) {
    char buffer[256];
    ASSERT_TRUE(vrk::platform::systemErrorMessage(error, buffer, sizeof buffer)) << error;
    EXPECT_GT(std::strlen(buffer), 0u) << error;
    EXPECT_LE(std::strlen(buffer), 255u) << error;
    EXPECT_EQ(std::strchr(buffer, '\n'), nullptr) << error;
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
