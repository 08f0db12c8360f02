// Builds .reg files holding a profile "SV.INI" in the store's layout, for
// the end-to-end tests: one key per application below
// HKEY_LOCAL_MACHINE\Software\SV.INI, one subkey per entry with "DataType"
// and "Data" (String) or chunk "0" (Binary).
//
// Thread safety: a builder is a plain value.
#pragma once

#include <string>

namespace vrk::test {

class ProfileReg {
public:
    // An empty profile: the key HKEY_LOCAL_MACHINE\Software\SV.INI alone.
    ProfileReg();

    // An entry typed the way the profile store types it: a non-empty value
    // of printable bytes (0x20 to 0x7E) as String, anything else as Binary.
    ProfileReg& entry(const std::string& application, const std::string& key,
                      const std::string& value);
    // An entry of type String / Binary whatever its bytes.
    ProfileReg& stringEntry(const std::string& application, const std::string& key,
                            const std::string& value);
    ProfileReg& binaryEntry(const std::string& application, const std::string& key,
                            const std::string& value);
    // A key subkey without "DataType" (not an element).
    ProfileReg& untypedEntry(const std::string& application, const std::string& key);
    // Adds raw lines to the file.
    ProfileReg& raw(const std::string& lines);

    // The .reg file text (version 5 header, 8-bit, line feeds).
    std::string text() const;

    // A name as the store keeps it in the registry ("/" doubled, "*" "/1",
    // "?" "/0", "\" "/_").
    static std::string encodedName(const std::string& name);
    // The key path of an entry, below HKEY_LOCAL_MACHINE.
    static std::string entryPath(const std::string& application, const std::string& key);

private:
    std::string body_;
};

}  // namespace vrk::test
