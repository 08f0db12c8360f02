// The registry command's query, and how it shows a value: its type's name
// (typeName) and its data (displayData).
#include <cstdio>
#include <optional>

#include "tool/vrkreg/reg_command.hpp"
#include "tool/vrkreg/reg_command_support.hpp"

namespace vrk::regfile {

namespace {

std::string hexUpper(const std::string& data) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(data.size() * 2);
    for (unsigned char c : data) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::uint64_t littleEndian(const std::string& data) {
    std::uint64_t v = 0;
    for (std::size_t i = data.size(); i-- > 0;) v = (v << 8) | static_cast<unsigned char>(data[i]);
    return v;
}

}  // namespace

std::string typeName(std::uint32_t type) {
    switch (type) {
    case vrk::reg::kRegNone: return "REG_NONE";
    case vrk::reg::kRegSz: return "REG_SZ";
    case vrk::reg::kRegExpandSz: return "REG_EXPAND_SZ";
    case vrk::reg::kRegBinary: return "REG_BINARY";
    case vrk::reg::kRegDword: return "REG_DWORD";
    case vrk::reg::kRegDwordBigEndian: return "REG_DWORD_BIG_ENDIAN";
    case vrk::reg::kRegLink: return "REG_LINK";
    case vrk::reg::kRegMultiSz: return "REG_MULTI_SZ";
    case 8: return "REG_RESOURCE_LIST";
    case 9: return "REG_FULL_RESOURCE_DESCRIPTOR";
    case 10: return "REG_RESOURCE_REQUIREMENTS_LIST";
    case vrk::reg::kRegQword: return "REG_QWORD";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(type));
        return buf;
    }
    }
}

std::string displayData(std::uint32_t type, const std::string& data) {
    char buf[32];
    switch (type) {
    case vrk::reg::kRegSz:
    case vrk::reg::kRegExpandSz: return data.substr(0, data.find('\0'));
    case vrk::reg::kRegMultiSz: {
        std::vector<std::string> items;
        std::size_t start = 0;
        while (start <= data.size()) {
            const std::size_t cut = data.find('\0', start);
            items.push_back(
                data.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
            if (cut == std::string::npos) break;
            start = cut + 1;
        }
        while (!items.empty() && items.back().empty()) items.pop_back();
        std::string out;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i) out += "\\0";
            out += items[i];
        }
        return out;
    }
    case vrk::reg::kRegDword:
    case vrk::reg::kRegDwordBigEndian:  // read as a REG_DWORD, as Windows' reg reads it
        if (data.size() != 4) break;
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(littleEndian(data)));
        return buf;
    case vrk::reg::kRegQword:
        if (data.size() != 8) break;
        std::snprintf(buf, sizeof buf, "0x%llx",
                      static_cast<unsigned long long>(littleEndian(data)));
        return buf;
    default: break;
    }
    return hexUpper(data);
}

namespace regcmd {

namespace {

void printValue(std::ostream& out, const ValueEntry& v) {
    out << "    " << (v.name.empty() ? std::string("(Default)") : v.name) << "    "
        << typeName(v.type) << "    " << displayData(v.type, v.data) << "\n";
}

// The value, or nothing when the key has no value of that name.
std::optional<ValueEntry> findValue(Registry& reg, vrk::reg::Key key, const std::string& name,
                                    const std::string& pathText) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    for (int attempt = 0;; ++attempt) {
        long rc = reg.queryValueEx(key, name.c_str(), &type, nullptr, &size);
        if (rc == vrk::reg::kFileNotFound) return std::nullopt;
        const std::string what = "cannot read value " +
                                 (name.empty() ? std::string("(Default)") : "\"" + name + "\"") +
                                 " of " + pathText;
        if (rc != vrk::reg::kSuccess) throwFailure(reg, what, rc);
        std::string data(size, '\0');
        unsigned char dummy = 0;
        rc = reg.queryValueEx(key, name.c_str(), &type,
                              size ? reinterpret_cast<unsigned char*>(data.data()) : &dummy, &size);
        if (rc == vrk::reg::kMoreData && attempt < 8) continue;
        if (rc == vrk::reg::kFileNotFound) return std::nullopt;
        if (rc != vrk::reg::kSuccess) throwFailure(reg, what, rc);
        data.resize(size);
        return ValueEntry{name, type, std::move(data)};
    }
}

}  // namespace

int runQuery(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {"ve", "s"}, {"v"});
    if (o.positional.size() != 1) throw UsageError{"query needs exactly one KEY"};
    if (o.has("v") && o.has("ve")) throw UsageError{"use /v or /ve, not both"};
    const KeyPath top = parseKeyArgument(o.positional[0]);
    const bool oneValue = o.has("v") || o.has("ve");
    const std::string valueName = o.value("v") ? *o.value("v") : std::string();

    if (!o.has("s")) {
        OpenKey key = openExisting(reg, top, vrk::reg::kKeyRead);
        const std::string pathText = fullPath(top);
        if (oneValue) {
            auto v = findValue(reg, key.get(), valueName, pathText);
            // A default value that was never set is shown as such, as
            // Windows' reg shows it.
            const bool notSet = !v && o.has("ve");
            if (notSet) v = ValueEntry{"", vrk::reg::kRegSz, ""};
            if (!v) {
                throwFailure(
                    reg,
                    "cannot find value " +
                        (valueName.empty() ? std::string("(Default)") : "\"" + valueName + "\"") +
                        " in " + pathText,
                    vrk::reg::kFileNotFound);
            }
            out << "\n" << pathText << "\n";
            if (notSet) {
                out << "    (Default)    REG_SZ    (value not set)\n";
            } else {
                printValue(out, *v);
            }
            out << "\n";
            return 0;
        }
        const auto values = readValues(reg, key.get(), pathText);
        const auto subkeys = readSubkeyNames(reg, key.get(), pathText);
        // The key's own name heads its values; a key without values shows
        // only its subkeys.
        out << "\n";
        if (!values.empty()) {
            out << pathText << "\n";
            for (const ValueEntry& v : values) printValue(out, v);
            out << "\n";
        }
        for (const std::string& s : subkeys) out << pathText << "\\" << s << "\n";
        return 0;
    }

    // Shown a key at a time: memory follows the deepest path and the largest
    // key, not the size of the subtree.
    std::size_t found = 0;
    bool started = false;
    const auto start = [&] {
        if (!started) out << "\n";
        started = true;
    };
    walkTree(reg, top, [&](vrk::reg::Key key, const KeyPath& path) {
        const std::string pathText = fullPath(path);
        const std::vector<ValueEntry> values = readValues(reg, key, pathText);
        if (oneValue) {
            for (const ValueEntry& v : values) {
                if (lowerCase(v.name) != lowerCase(valueName)) continue;
                start();
                out << pathText << "\n";
                printValue(out, v);
                out << "\n";
                ++found;
            }
            return;
        }
        start();
        // Every key below is shown; the key itself only with values.
        if (values.empty() && path == top) return;
        out << pathText << "\n";
        for (const ValueEntry& v : values) printValue(out, v);
        out << "\n";
    });
    if (oneValue && found == 0) {
        throwFailure(reg,
                     "cannot find value " +
                         (valueName.empty() ? std::string("(Default)") : "\"" + valueName + "\"") +
                         " in " + fullPath(top) + " or below",
                     vrk::reg::kFileNotFound);
    }
    return 0;
}

}  // namespace regcmd

}  // namespace vrk::regfile
