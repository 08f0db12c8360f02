// The directory check on Windows takes a char path in the process's ANSI
// code page: bytes 0x80 to 0xFF name that code page's characters, not
// U+0080 to U+00FF.
#include "platform/file_status.hpp"

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

namespace {

// The bytes 0x80 to 0xFF that the ANSI code page reads as one character
// other than the code point of the same number, and those characters.
void bytesReadOtherwise(std::string* bytes, std::wstring* characters) {
    for (int b = 0x80; b <= 0xFF; ++b) {
        const char byte = static_cast<char>(b);
        wchar_t character[2];
        const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &byte, 1, character, 2);
        if (n != 1 || character[0] == static_cast<wchar_t>(b)) continue;
        if (character[0] < 0x20 ||
            std::wstring(L"<>:\"/\\|?*").find(character[0]) != std::wstring::npos)
            continue;
        bytes->push_back(byte);
        characters->push_back(character[0]);
    }
}

TEST(FileStatusWindows, PathIsTakenInTheAnsiCodePage) {
    std::string bytes;
    std::wstring characters;
    bytesReadOtherwise(&bytes, &characters);
    ASSERT_FALSE(bytes.empty()) << "code page " << GetACP()
                                << " reads every byte as the code point of its number";

    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring dir =
        std::wstring(temp) + L"vrk-acp-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring named = dir + L"\\E" + characters;
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(named.c_str(), nullptr));

    char ansiDir[MAX_PATH * 2];
    const int n =
        WideCharToMultiByte(CP_ACP, 0, dir.c_str(), -1, ansiDir, sizeof ansiDir, nullptr, nullptr);
    ASSERT_GT(n, 0);
    const std::string path = std::string(ansiDir) + "\\E" + bytes;
    EXPECT_TRUE(vrk::platform::isExistingDirectory(path.c_str()))
        << "code page " << GetACP() << ", bytes " << ::testing::PrintToString(bytes);
    EXPECT_FALSE(vrk::platform::isExistingDirectory((std::string(ansiDir) + "\\E").c_str()));

    RemoveDirectoryW(named.c_str());
    RemoveDirectoryW(dir.c_str());
}

}  // namespace
