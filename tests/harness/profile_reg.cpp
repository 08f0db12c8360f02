// .reg builder for profile fixtures.
#include "tests/harness/profile_reg.hpp"

#include <cstdio>

namespace vrk::test {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hexBytes(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i > 0) out += ',';
        // Continuation lines keep every line of the file short.
        if (i > 0 && i % 24 == 0) out += "\\\n  ";
        out += buf;
    }
    return out;
}

bool printable(const std::string& value) {
    if (value.empty()) return false;
    for (char c : value) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7E) return false;
    }
    return true;
}

const char* const profileRoot = "HKEY_LOCAL_MACHINE\\Software\\SV.INI";

}  // namespace

ProfileReg::ProfileReg() { body_ = std::string("[") + profileRoot + "]\n\n"; }

std::string ProfileReg::encodedName(const std::string& name) {
    std::string out;
    for (char c : name) {
        switch (c) {
        case '/': out += "//"; break;
        case '*': out += "/1"; break;
        case '?': out += "/0"; break;
        case '\\': out += "/_"; break;
        default: out += c;
        }
    }
    return out;
}

std::string ProfileReg::entryPath(const std::string& application, const std::string& key) {
    return "Software\\SV.INI\\" + encodedName(application) + "\\" + encodedName(key);
}

ProfileReg& ProfileReg::entry(const std::string& application, const std::string& key,
                              const std::string& value) {
    return printable(value) ? stringEntry(application, key, value)
                            : binaryEntry(application, key, value);
}

ProfileReg& ProfileReg::stringEntry(const std::string& application, const std::string& key,
                                    const std::string& value) {
    body_ += "[HKEY_LOCAL_MACHINE\\" + entryPath(application, key) + "]\n";
    body_ += "\"DataType\"=\"String\"\n";
    body_ += "\"Data\"=" + quoted(value) + "\n\n";
    return *this;
}

ProfileReg& ProfileReg::binaryEntry(const std::string& application, const std::string& key,
                                    const std::string& value) {
    body_ += "[HKEY_LOCAL_MACHINE\\" + entryPath(application, key) + "]\n";
    body_ += "\"DataType\"=\"Binary\"\n";
    if (!value.empty()) body_ += "\"0\"=hex:" + hexBytes(value) + "\n";
    body_ += "\n";
    return *this;
}

ProfileReg& ProfileReg::untypedEntry(const std::string& application, const std::string& key) {
    body_ += "[HKEY_LOCAL_MACHINE\\" + entryPath(application, key) + "]\n\n";
    return *this;
}

ProfileReg& ProfileReg::raw(const std::string& lines) {
    body_ += lines;
    return *this;
}

std::string ProfileReg::text() const { return "Windows Registry Editor Version 5.00\n\n" + body_; }

}  // namespace vrk::test
