// Library messages from the message module built with the library, on every
// platform (the gencat catalog on Linux, vrkmsg.dll on Windows): the module
// present, missing, and lacking a message. Each case runs in a process of
// its own, as the module name is read once per process.
#include <gtest/gtest.h>

#include "diag/imessage.hpp"
#include "platform/environment.hpp"

namespace {

const char kUnavailable[] = "Unable to load text from message file.";

class MessageModule : public ::testing::Test {
protected:
    void SetUp() override {
        vrk::platform::unsetEnvironmentVariable("TORQA MSGFILE");
        vrk::platform::unsetEnvironmentVariable("TORQA_MSGFILE");
    }
};

TEST_F(MessageModule, PresentModuleGivesItsTextsWithInserts) {
    const struct {
        unsigned set;
        unsigned long id;
        const char* insert;
        const char* text;
    } cases[] = {
        {vrk::diag::kLibraryMessages, 1, "svINIExists==True",
         "A required condition is not met: svINIExists==True"},
        {vrk::diag::kLibraryMessages, 4, nullptr,
         "There is not enough memory to complete the request."},
        {vrk::diag::kLibraryMessages, 51, nullptr,
         "The result would be longer than the largest length a string can hold."},
        {vrk::diag::kCollectionMessages, 370, nullptr, "child already exists"},
        {vrk::diag::kCollectionMessages, 384, nullptr, "cyclic child attachment"},
    };
    for (const auto& c : cases) {
        const char* const inserts[9] = {c.insert};
        char text[ILibraryMessage::bufferSize];
        EXPECT_TRUE(vrk::diag::loadMessage(c.set, c.id, inserts, text, sizeof text)) << c.id;
        EXPECT_STREQ(text, c.text);
    }
    EXPECT_STREQ(ILibraryMessage(1, "profName != 0").text(),
                 "A required condition is not met: profName != 0");
}

TEST_F(MessageModule, MessageTheModuleLacksGivesTheFallbackText) {
    for (unsigned long id : {0ul, 2ul, 370ul, 999ul, 0x10001ul, 0xFFFFFFFFul})
        EXPECT_STREQ(ILibraryMessage(id).text(), kUnavailable) << id;
    const char* const none[9] = {};
    char text[64] = "junk";
    EXPECT_FALSE(
        vrk::diag::loadMessage(vrk::diag::kCollectionMessages, 1, none, text, sizeof text));
    EXPECT_STREQ(text, "");
}

TEST_F(MessageModule, MissingModuleGivesTheFallbackText) {
    vrk::platform::setEnvironmentVariable("TORQA MSGFILE", "vrk-no-such-module.none");
    EXPECT_STREQ(vrk::diag::messageModuleName(), "vrk-no-such-module.none");
    EXPECT_STREQ(ILibraryMessage(1, "x").text(), kUnavailable);
    EXPECT_STREQ(ILibraryMessage(4).text(), kUnavailable);
}

TEST_F(MessageModule, OnlyTheFormWithABlankNamesAnotherModule) {
    vrk::platform::setEnvironmentVariable("TORQA_MSGFILE", "vrk-no-such-module.none");
    EXPECT_STREQ(ILibraryMessage(4).text(), "There is not enough memory to complete the request.");
}

}  // namespace
