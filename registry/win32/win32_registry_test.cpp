// What the advapi32 backend leaves in the Windows registry itself, read
// back with the registry's own wide call: text is stored as exactly the
// bytes the caller counted, so that other programs (reg, regedit) see what
// our store holds.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "registry/registry_test_support.hpp"

namespace vrk::reg::testing {
namespace {

class Win32Storage : public ScratchStore {};

TEST_F(Win32Storage, TextIsStoredAsTheBytesCounted) {
    static const struct {
        const char* what;
        std::uint32_t type;
        std::string written;  // followed in memory by a zero byte
        std::uint32_t counted;
        DWORD storedBytes;  // UTF-16 bytes in the registry
    } cases[] = {
        {"text without its zero", kRegSz, "hello", 5, 10},
        {"text with its zero", kRegSz, "hello", 6, 12},
        {"expandable text without its zero", kRegExpandSz, "%P%", 3, 6},
        {"text list with its zeros", kRegMultiSz, std::string("a\0b\0", 4), 5, 10},
        {"empty text", kRegSz, "", 0, 0},
    };
    const Key key = create(kCurrentUser, "Software\\Storage");
    for (const auto& c : cases) {
        ASSERT_EQ(
            reg->setValueEx(key, c.what, c.type,
                            reinterpret_cast<const unsigned char*>(c.written.c_str()), c.counted),
            kSuccess)
            << c.what;
        const std::wstring name(c.what, c.what + std::char_traits<char>::length(c.what));
        DWORD type = 0;
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(reinterpret_cast<HKEY>(key.value), name.c_str(), nullptr, &type,
                                   nullptr, &size),
                  ERROR_SUCCESS)
            << c.what;
        EXPECT_EQ(type, c.type) << c.what;
        EXPECT_EQ(size, c.storedBytes) << c.what;
        EXPECT_EQ(bytesOf(key, c.what), std::string(c.written.c_str(), c.counted)) << c.what;
    }
    reg->closeKey(key);
}

}  // namespace
}  // namespace vrk::reg::testing
