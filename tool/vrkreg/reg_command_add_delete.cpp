// The registry command's add (with the /t type names and the /d data of each
// type) and delete (of a value, of all values, or of a key with its subtree).
#include <cstdint>

#include "tool/vrkreg/reg_command_support.hpp"
#include "tool/vrkreg/regfile_text.hpp"

namespace vrk::regfile::regcmd {

namespace {

std::uint32_t parseTypeName(const std::string& text) {
    static const struct {
        const char* name;
        std::uint32_t type;
    } types[] = {
        {"reg_sz", vrk::reg::kRegSz},
        {"reg_expand_sz", vrk::reg::kRegExpandSz},
        {"reg_multi_sz", vrk::reg::kRegMultiSz},
        {"reg_dword", vrk::reg::kRegDword},
        {"reg_dword_little_endian", vrk::reg::kRegDword},
        {"reg_dword_big_endian", vrk::reg::kRegDwordBigEndian},
        {"reg_qword", vrk::reg::kRegQword},
        {"reg_qword_little_endian", vrk::reg::kRegQword},
        {"reg_binary", vrk::reg::kRegBinary},
        {"reg_none", vrk::reg::kRegNone},
    };
    const std::string lower = lowerCase(text);
    for (const auto& t : types) {
        if (lower == t.name) return t.type;
    }
    throw UsageError{"unknown type \"" + text +
                     "\" (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN, "
                     "REG_QWORD, REG_BINARY or REG_NONE)"};
}

// A number in decimal or, with 0x, in hex, no larger than max.
std::uint64_t parseNumber(const std::string& text, std::uint64_t max, const char* typeText) {
    const auto bad = [&]() {
        return UsageError{"invalid " + std::string(typeText) + " data \"" + text +
                          "\": expected a number in decimal or 0x hex that fits the type"};
    };
    std::size_t p = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        p = 2;
    }
    if (p >= text.size()) throw bad();
    std::uint64_t v = 0;
    for (; p < text.size(); ++p) {
        const char c = text[p];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            throw bad();
        }
        if (v > (max - d) / base) throw bad();
        v = v * base + d;
    }
    return v;
}

// The number's bytes, least significant first.
std::string bytesOfNumber(std::uint64_t v, std::size_t count) {
    std::string out(count, '\0');
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

// The bytes to store for /d DATA of the type (see the usage text).
std::string dataForType(std::uint32_t type, const std::string* given,
                        const std::string* separator) {
    const std::string text = given ? *given : std::string();
    switch (type) {
    // Text is stored with its terminating zero, as Windows' reg stores it.
    case vrk::reg::kRegSz: return text + std::string(1, '\0');
    case vrk::reg::kRegNone:
        // As Windows' reg stores it: UTF-16 text with its terminating zero.
        return storeBytesToUtf16le(text) + std::string(2, '\0');
    case vrk::reg::kRegExpandSz: return text + std::string(1, '\0');
    case vrk::reg::kRegDword:
    case vrk::reg::kRegDwordBigEndian:
        if (!given) throw UsageError{"a REG_DWORD value needs its number in /d DATA"};
        // REG_DWORD_BIG_ENDIAN too is stored least significant byte first,
        // as Windows' reg stores it.
        return bytesOfNumber(parseNumber(text, 0xFFFFFFFFull, "REG_DWORD"), 4);
    case vrk::reg::kRegQword: {
        // A negative decimal number is stored as its two's complement; a
        // negative hex number is refused, as Windows' reg refuses it.
        if (given && text.size() > 1 && text[0] == '-') {
            const std::string magnitudeText = text.substr(1);
            if (magnitudeText.find_first_not_of("0123456789") != std::string::npos)
                throw UsageError{"invalid REG_QWORD data \"" + text +
                                 "\": a negative number must be decimal"};
            const std::uint64_t magnitude = parseNumber(magnitudeText, 1ull << 63, "REG_QWORD");
            return bytesOfNumber(~magnitude + 1, 8);
        }
        return bytesOfNumber(given ? parseNumber(text, ~0ull, "REG_QWORD") : 0, 8);
    }
    case vrk::reg::kRegBinary: {
        // An odd number of digits reads as if a 0 led them.
        const std::string digits = text.size() % 2 != 0 ? "0" + text : text;
        std::string out;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            const auto digit = [&](char c) -> int {
                if (c >= '0' && c <= '9') return c - '0';
                if (c >= 'a' && c <= 'f') return c - 'a' + 10;
                if (c >= 'A' && c <= 'F') return c - 'A' + 10;
                throw UsageError{"invalid REG_BINARY data \"" + text +
                                 "\": only hex digits are allowed"};
            };
            out.push_back(static_cast<char>(digit(digits[i]) * 16 + digit(digits[i + 1])));
        }
        return out;
    }
    case vrk::reg::kRegMultiSz: {
        if (separator && separator->size() != 1)
            throw UsageError{"the separator given with /s must be one character"};
        const std::string sep = separator ? *separator : std::string("\\0");
        std::string out;
        // One separator at the end closes the list, as Windows' reg reads it;
        // a list closed at once holds one empty string.
        std::string items = text;
        if (items.size() >= sep.size() &&
            items.compare(items.size() - sep.size(), sep.size(), sep) == 0) {
            items.resize(items.size() - sep.size());
            if (items.empty()) return std::string(2, '\0');
        }
        if (!items.empty()) {
            std::size_t start = 0;
            while (true) {
                const std::size_t cut = items.find(sep, start);
                const std::string item =
                    items.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
                if (item.empty())
                    throw UsageError{"invalid REG_MULTI_SZ data: it holds an empty string"};
                out += item;
                out.push_back('\0');
                if (cut == std::string::npos) break;
                start = cut + sep.size();
            }
        }
        out.push_back('\0');
        return out;
    }
    default: return text;
    }
}

}  // namespace

int runAdd(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {"ve", "f"}, {"v", "t", "d", "s"});
    if (o.positional.size() != 1) throw UsageError{"add needs exactly one KEY"};
    if (o.has("v") && o.has("ve")) throw UsageError{"use /v or /ve, not both"};
    const KeyPath key = parseKeyArgument(o.positional[0]);
    // Windows' reg refuses a root with a trailing backslash and a key that
    // ends in an empty name.
    const std::string& keyText = o.positional[0];
    if ((key.subKey.empty() && keyText.find('\\') != std::string::npos) ||
        (keyText.size() >= 2 && keyText.compare(keyText.size() - 2, 2, "\\\\") == 0))
        throw UsageError{"invalid key \"" + keyText + "\": it ends in an empty key name"};
    const bool setsValue = o.has("v") || o.has("ve") || o.has("t") || o.has("d");
    if (o.has("s") && !setsValue) throw UsageError{"/s needs a REG_MULTI_SZ value"};
    // With neither a name nor data, Windows' reg sets the default value to
    // the empty text, as /ve alone does.
    std::uint32_t type = vrk::reg::kRegSz;
    if (o.value("t")) type = parseTypeName(*o.value("t"));
    if (o.has("s") && type != vrk::reg::kRegMultiSz)
        throw UsageError{"/s is only for REG_MULTI_SZ"};
    const std::string data = dataForType(type, o.value("d"), o.value("s"));
    OpenKey handle = openOrCreate(reg, key);
    {
        const std::string name = o.value("v") ? *o.value("v") : std::string();
        const long rc = reg.setValueEx(handle.get(), name.c_str(), type,
                                       reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<std::uint32_t>(data.size()));
        if (rc != vrk::reg::kSuccess) {
            throwFailure(reg,
                         "cannot set value " +
                             (name.empty() ? std::string("(Default)") : "\"" + name + "\"") +
                             " in " + fullPath(key),
                         rc);
        }
    }
    flushChanges(reg, key);
    out << kSuccessText << "\n";
    return 0;
}

int runDelete(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {"ve", "va", "f"}, {"v"});
    if (o.positional.size() != 1) throw UsageError{"delete needs exactly one KEY"};
    if (int(o.has("v")) + int(o.has("ve")) + int(o.has("va")) > 1)
        throw UsageError{"use only one of /v, /ve and /va"};
    const KeyPath key = parseKeyArgument(o.positional[0]);
    const std::string pathText = fullPath(key);

    if (o.has("v") || o.has("ve")) {
        const std::string name = o.value("v") ? *o.value("v") : std::string();
        OpenKey handle = openExisting(reg, key, vrk::reg::kKeyReadWrite);
        const long rc = reg.deleteValue(handle.get(), name.c_str());
        if (rc != vrk::reg::kSuccess) {
            throwFailure(reg,
                         "cannot delete value " +
                             (name.empty() ? std::string("(Default)") : "\"" + name + "\"") +
                             " of " + pathText,
                         rc);
        }
    } else if (o.has("va")) {
        OpenKey handle = openExisting(reg, key, vrk::reg::kKeyReadWrite);
        inBatch(reg, "the deletion of the values of " + pathText, [&] {
            for (const ValueEntry& v : readValues(reg, handle.get(), pathText)) {
                const long rc = reg.deleteValue(handle.get(), v.name.c_str());
                if (rc != vrk::reg::kSuccess) {
                    throwFailure(
                        reg,
                        "cannot delete value " +
                            (v.name.empty() ? std::string("(Default)") : "\"" + v.name + "\"") +
                            " of " + pathText,
                        rc);
                }
            }
        });
    } else {
        if (key.subKey.empty()) throw CommandFailure("cannot delete the root key " + pathText);
        inBatch(reg, "the deletion of " + pathText, [&] {
            if (!deleteTree(reg, key))
                throwFailure(reg, "cannot delete " + pathText, vrk::reg::kFileNotFound);
        });
    }
    flushChanges(reg, key);
    out << kSuccessText << "\n";
    return 0;
}

}  // namespace vrk::regfile::regcmd
