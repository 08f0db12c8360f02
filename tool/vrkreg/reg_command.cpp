#include "tool/vrkreg/reg_command.hpp"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "tool/vrkreg/reg_access.hpp"
#include "tool/vrkreg/regfile_model.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_writer.hpp"

namespace vrk::regfile {

using vrk::reg::Registry;

namespace {

const char* const kSuccessText = "The operation completed successfully.";

const char* const kGeneralUsage =
    "Usage: vrkreg COMMAND ARGUMENTS\n"
    "\n"
    "Commands:\n"
    "  query   KEY [/v NAME | /ve] [/s]          show values and subkeys\n"
    "  add     KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
    "                                            create a key or set a value\n"
    "  delete  KEY [/v NAME | /ve | /va] [/f]    delete a value, all values, or a key\n"
    "  import  FILE                              apply a .reg file, all or nothing\n"
    "  export  KEY FILE [/y]                     write a key and its subtree to a .reg file\n"
    "\n"
    "KEY starts with a root: HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU),\n"
    "HKEY_USERS (HKU) or HKEY_CLASSES_ROOT (HKCR), e.g. HKLM\\Software\\SV.INI.\n"
    "Options start with / or -; their names ignore letter case.\n"
    "The store's directory comes from the environment variable \"TORQA REGISTRY\"\n"
    "(or \"TORQA_REGISTRY\").\n"
    "Type \"vrkreg COMMAND /?\" for the details of a command.\n";

const char* const kQueryUsage =
    "Usage: vrkreg query KEY [/v NAME | /ve] [/s]\n"
    "\n"
    "  KEY      the key to show, e.g. HKLM\\Software\\SV.INI\n"
    "  /v NAME  show only the value NAME\n"
    "  /ve      show only the default (unnamed) value, shown as (Default)\n"
    "  /s       include every key below KEY\n"
    "\n"
    "Each key is shown as its full path followed by lines of the form\n"
    "\"    NAME    TYPE    DATA\"; without /s the subkeys of KEY follow.\n";

const char* const kAddUsage =
    "Usage: vrkreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
    "\n"
    "  KEY      the key to create (missing parents are created too)\n"
    "  /v NAME  the value to set\n"
    "  /ve      set the default (unnamed) value\n"
    "  /t TYPE  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,\n"
    "           REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY or REG_NONE\n"
    "  /s SEP   the character between the strings of REG_MULTI_SZ data\n"
    "           (without it they are separated by the two characters \\0)\n"
    "  /d DATA  the data: text; a number in decimal or 0x hex for REG_DWORD and\n"
    "           REG_QWORD; hex digits for REG_BINARY\n"
    "  /f       accepted for compatibility: an existing value is always replaced\n"
    "\n"
    "Without /v, /ve, /t and /d only the key is created.\n";

const char* const kDeleteUsage =
    "Usage: vrkreg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "\n"
    "  KEY      the key; without /v, /ve or /va it is deleted with all its subkeys\n"
    "  /v NAME  delete the value NAME\n"
    "  /ve      delete the default (unnamed) value\n"
    "  /va      delete every value of KEY (its subkeys stay)\n"
    "  /f       accepted for compatibility: the command never asks\n";

const char* const kImportUsage =
    "Usage: vrkreg import FILE\n"
    "\n"
    "  FILE     a .reg file (REGEDIT4 or Windows Registry Editor Version 5.00,\n"
    "           8-bit or UTF-16LE text)\n"
    "\n"
    "The whole file is checked first; a malformed file changes nothing and the\n"
    "error names its line. The changes are then applied as one batch.\n";

const char* const kExportUsage =
    "Usage: vrkreg export KEY FILE [/y]\n"
    "\n"
    "  KEY      the key to write, with every key below it\n"
    "  FILE     the .reg file to write (UTF-16LE, version 5.00); - writes to\n"
    "           standard output\n"
    "  /y       replace FILE if it exists (without /y an existing file is kept\n"
    "           and the command fails)\n";

// What a command works with.
struct Context {
    Registry& reg;
    std::ostream& out;
    const std::function<void()>& beforeBinaryOutput;
};

// Bad arguments: reported with a hint to the usage text.
struct UsageError {
    std::string text;
};

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isHelp(const std::string& arg) {
    const std::string a = lowerCase(arg);
    return a == "/?" || a == "-?" || a == "/h" || a == "-h" || a == "--help" || a == "/help" ||
           a == "-help";
}

struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // options with an argument
    std::set<std::string> flags;                // options without one

    bool has(const std::string& name) const { return flags.count(name) || values.count(name); }
    const std::string* value(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second;
    }
};

// True for an argument that is written as an option: / or - followed by a
// name. "-" alone is positional, and so is a /-argument that looks like a
// path ("/tmp/out.reg": a second slash, a backslash or a dot).
bool looksLikeOption(const std::string& a) {
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) return false;
    if (a[0] == '/' && a.find_first_of("/\\.", 1) != std::string::npos) return false;
    return true;
}

// Splits the arguments after the command word into options and positional
// arguments.
Options parseOptions(const std::vector<std::string>& args, const std::set<std::string>& flagNames,
                     const std::set<std::string>& valueNames) {
    Options o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (looksLikeOption(a)) {
            const std::string name = lowerCase(a.substr(1));
            if (flagNames.count(name)) {
                if (o.flags.count(name)) throw UsageError{"option " + a + " given twice"};
                o.flags.insert(name);
                continue;
            }
            if (valueNames.count(name)) {
                if (o.values.count(name)) throw UsageError{"option " + a + " given twice"};
                if (i + 1 >= args.size()) throw UsageError{"option " + a + " needs an argument"};
                o.values[name] = args[++i];
                continue;
            }
            throw UsageError{"unknown option " + a};
        }
        o.positional.push_back(a);
    }
    return o;
}

KeyPath parseKeyArgument(const std::string& text) {
    const std::size_t slash = text.find('\\');
    const std::string word = text.substr(0, slash);
    KeyPath key;
    if (!rootFromName(word, true, key.root)) {
        throw UsageError{"invalid key \"" + text +
                         "\": it must start with HKLM, HKCU, HKU, HKCR or their long names "
                         "(HKEY_LOCAL_MACHINE, ...)"};
    }
    if (slash == std::string::npos) return key;
    std::string rest = text.substr(slash + 1);
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    if (rest.find("\\\\") != std::string::npos || (!rest.empty() && rest.front() == '\\'))
        throw UsageError{"invalid key \"" + text + "\": empty key name between backslashes"};
    key.subKey = rest;
    return key;
}

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

// ---- query -----------------------------------------------------------------

void printValue(std::ostream& out, const ValueEntry& v) {
    out << "    " << (v.name.empty() ? std::string("(Default)") : v.name) << "    " << typeName(v.type)
        << "    " << displayData(v.type, v.data) << "\n";
}

// The value, or nothing when the key has no value of that name.
std::optional<ValueEntry> findValue(Registry& reg, vrk::reg::Key key, const std::string& name,
                                    const std::string& pathText) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    for (int attempt = 0;; ++attempt) {
        long rc = reg.queryValueEx(key, name.c_str(), &type, nullptr, &size);
        if (rc == vrk::reg::kFileNotFound) return std::nullopt;
        const std::string what = "cannot read value " + (name.empty() ? std::string("(Default)") : "\"" + name + "\"") +
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
            const auto v = findValue(reg, key.get(), valueName, pathText);
            if (!v) {
                throwFailure(reg, "cannot find value " + (valueName.empty() ? std::string("(Default)") : "\"" + valueName + "\"") +
                                      " in " + pathText,
                             vrk::reg::kFileNotFound);
            }
            out << "\n" << pathText << "\n";
            printValue(out, *v);
            out << "\n";
            return 0;
        }
        const auto values = readValues(reg, key.get(), pathText);
        const auto subkeys = readSubkeyNames(reg, key.get(), pathText);
        out << "\n" << pathText << "\n";
        for (const ValueEntry& v : values) printValue(out, v);
        if (!values.empty()) out << "\n";
        for (const std::string& s : subkeys) out << pathText << "\\" << s << "\n";
        return 0;
    }

    const std::vector<KeyBlock> tree = readTree(reg, top);
    std::ostringstream text;
    text << "\n";
    std::size_t found = 0;
    for (const KeyBlock& block : tree) {
        if (oneValue) {
            for (const ValueEntry& v : block.values) {
                if (lowerCase(v.name) != lowerCase(valueName)) continue;
                text << fullPath(block.key) << "\n";
                printValue(text, v);
                text << "\n";
                ++found;
            }
            continue;
        }
        text << fullPath(block.key) << "\n";
        for (const ValueEntry& v : block.values) printValue(text, v);
        text << "\n";
    }
    if (oneValue && found == 0) {
        throwFailure(reg, "cannot find value " + (valueName.empty() ? std::string("(Default)") : "\"" + valueName + "\"") +
                              " in " + fullPath(top) + " or below",
                     vrk::reg::kFileNotFound);
    }
    out << text.str();
    return 0;
}

// ---- add -------------------------------------------------------------------

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

std::string bytesOfNumber(std::uint64_t v, std::size_t count, bool bigEndian) {
    std::string out(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        const char b = static_cast<char>((v >> (8 * i)) & 0xFF);
        out[bigEndian ? count - 1 - i : i] = b;
    }
    return out;
}

// The bytes to store for /d DATA of the type (see the usage text).
std::string dataForType(std::uint32_t type, const std::string* given, const std::string* separator) {
    const std::string text = given ? *given : std::string();
    switch (type) {
        case vrk::reg::kRegSz:
        case vrk::reg::kRegNone:
            return text;
        case vrk::reg::kRegExpandSz:
            return text + std::string(1, '\0');
        case vrk::reg::kRegDword:
        case vrk::reg::kRegDwordBigEndian:
            return bytesOfNumber(given ? parseNumber(text, 0xFFFFFFFFull, "REG_DWORD") : 0, 4,
                                 type == vrk::reg::kRegDwordBigEndian);
        case vrk::reg::kRegQword:
            return bytesOfNumber(given ? parseNumber(text, ~0ull, "REG_QWORD") : 0, 8, false);
        case vrk::reg::kRegBinary: {
            if (text.size() % 2 != 0)
                throw UsageError{"invalid REG_BINARY data: an even number of hex digits is needed"};
            std::string out;
            for (std::size_t i = 0; i < text.size(); i += 2) {
                const auto digit = [&](char c) -> int {
                    if (c >= '0' && c <= '9') return c - '0';
                    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
                    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
                    throw UsageError{"invalid REG_BINARY data \"" + text + "\": only hex digits are allowed"};
                };
                out.push_back(static_cast<char>(digit(text[i]) * 16 + digit(text[i + 1])));
            }
            return out;
        }
        case vrk::reg::kRegMultiSz: {
            if (separator && separator->size() != 1)
                throw UsageError{"the separator given with /s must be one character"};
            const std::string sep = separator ? *separator : std::string("\\0");
            std::string out;
            if (!text.empty()) {
                std::size_t start = 0;
                while (true) {
                    const std::size_t cut = text.find(sep, start);
                    const std::string item =
                        text.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
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
        default:
            return text;
    }
}

int runAdd(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {"ve", "f"}, {"v", "t", "d", "s"});
    if (o.positional.size() != 1) throw UsageError{"add needs exactly one KEY"};
    if (o.has("v") && o.has("ve")) throw UsageError{"use /v or /ve, not both"};
    const KeyPath key = parseKeyArgument(o.positional[0]);
    const bool setsValue = o.has("v") || o.has("ve") || o.has("t") || o.has("d");
    if (o.has("s") && !setsValue) throw UsageError{"/s needs a REG_MULTI_SZ value"};
    std::uint32_t type = vrk::reg::kRegSz;
    std::string data;
    if (setsValue) {
        if (o.value("t")) type = parseTypeName(*o.value("t"));
        if (o.has("s") && type != vrk::reg::kRegMultiSz) throw UsageError{"/s is only for REG_MULTI_SZ"};
        data = dataForType(type, o.value("d"), o.value("s"));
    }
    OpenKey handle = openOrCreate(reg, key);
    if (setsValue) {
        const std::string name = o.value("v") ? *o.value("v") : std::string();
        const long rc = reg.setValueEx(handle.get(), name.c_str(), type,
                                       reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<std::uint32_t>(data.size()));
        if (rc != vrk::reg::kSuccess) {
            throwFailure(reg,
                         "cannot set value " + (name.empty() ? std::string("(Default)") : "\"" + name + "\"") +
                             " in " + fullPath(key),
                         rc);
        }
    }
    out << kSuccessText << "\n";
    return 0;
}

// ---- delete ----------------------------------------------------------------

// Runs fn inside a batch of reg: committed when fn returns, rolled back when
// it throws.
template <typename Fn>
void inBatch(Registry& reg, const std::string& what, Fn fn) {
    long rc = reg.beginBatch();
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot begin a batch for " + what, rc);
    try {
        fn();
    } catch (...) {
        reg.rollbackBatch();
        throw;
    }
    rc = reg.commitBatch();
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot commit " + what, rc);
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
                         "cannot delete value " + (name.empty() ? std::string("(Default)") : "\"" + name + "\"") +
                             " of " + pathText,
                         rc);
        }
    } else if (o.has("va")) {
        OpenKey handle = openExisting(reg, key, vrk::reg::kKeyReadWrite);
        inBatch(reg, "the deletion of the values of " + pathText, [&] {
            for (const ValueEntry& v : readValues(reg, handle.get(), pathText)) {
                const long rc = reg.deleteValue(handle.get(), v.name.c_str());
                if (rc != vrk::reg::kSuccess) {
                    throwFailure(reg,
                                 "cannot delete value " +
                                     (v.name.empty() ? std::string("(Default)") : "\"" + v.name + "\"") + " of " +
                                     pathText,
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
    out << kSuccessText << "\n";
    return 0;
}

// ---- import ----------------------------------------------------------------

bool readWholeFile(const std::string& path, std::string& bytes, std::string& why) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = "it is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::filesystem::exists(path, ec) ? "it cannot be opened for reading" : "no such file";
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        why = "a read failed";
        return false;
    }
    bytes = buffer.str();
    return true;
}

void applyOperations(Registry& reg, const std::string& file, const std::vector<Operation>& ops) {
    std::optional<OpenKey> current;
    const auto where = [&](const Operation& op) { return file + ":" + std::to_string(op.line) + ": "; };
    for (const Operation& op : ops) {
        try {
            switch (op.kind) {
                case Operation::Kind::openKey:
                    current.reset();
                    current.emplace(openOrCreate(reg, op.key));
                    break;
                case Operation::Kind::deleteKey:
                    current.reset();
                    deleteTree(reg, op.key);
                    break;
                case Operation::Kind::setValue: {
                    const long rc = reg.setValueEx(current->get(), op.name.c_str(), op.type,
                                                   reinterpret_cast<const unsigned char*>(op.data.data()),
                                                   static_cast<std::uint32_t>(op.data.size()));
                    if (rc != vrk::reg::kSuccess) {
                        throwFailure(reg,
                                     "cannot set value " +
                                         (op.name.empty() ? std::string("(Default)") : "\"" + op.name + "\"") +
                                         " in " + fullPath(op.key),
                                     rc);
                    }
                    break;
                }
                case Operation::Kind::deleteValue: {
                    const long rc = reg.deleteValue(current->get(), op.name.c_str());
                    if (rc != vrk::reg::kSuccess && rc != vrk::reg::kFileNotFound) {
                        throwFailure(reg,
                                     "cannot delete value " +
                                         (op.name.empty() ? std::string("(Default)") : "\"" + op.name + "\"") +
                                         " of " + fullPath(op.key),
                                     rc);
                    }
                    break;
                }
            }
        } catch (const CommandFailure& f) {
            throw CommandFailure(where(op) + f.what(), f.error());
        }
    }
}

int runImport(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {}, {});
    if (o.positional.size() != 1) throw UsageError{"import needs exactly one FILE"};
    const std::string& file = o.positional[0];
    std::string bytes, why;
    if (!readWholeFile(file, bytes, why))
        throw CommandFailure("cannot read " + file + ": " + why + "; nothing was imported");
    const ParseResult parsed = parseRegFile(bytes);
    if (!parsed.ok) {
        throw CommandFailure(file + ":" + std::to_string(parsed.errorLine) + ": " + parsed.error +
                             "; nothing was imported");
    }
    try {
        inBatch(reg, "the import of " + file, [&] { applyOperations(reg, file, parsed.operations); });
    } catch (const CommandFailure& f) {
        throw CommandFailure(std::string(f.what()) + "; nothing was imported", f.error());
    }
    out << kSuccessText << "\n";
    return 0;
}

// ---- export ----------------------------------------------------------------

int runExport(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {"y"}, {});
    if (o.positional.size() != 2) throw UsageError{"export needs a KEY and a FILE"};
    const KeyPath key = parseKeyArgument(o.positional[0]);
    const std::string& file = o.positional[1];
    const bool toStdout = file == "-";
    std::error_code ec;
    if (!toStdout && std::filesystem::exists(file, ec) && !o.has("y"))
        throw CommandFailure("cannot export to " + file + ": the file exists (add /y to replace it)");

    const std::vector<KeyBlock> blocks = readTree(reg, key);
    std::string bytes, why;
    if (!writeRegFile(blocks, bytes, why)) throw CommandFailure("cannot export " + fullPath(key) + ": " + why);

    if (toStdout) {
        if (ctx.beforeBinaryOutput) ctx.beforeBinaryOutput();
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) throw CommandFailure("cannot write the export of " + fullPath(key) + " to standard output");
        return 0;
    }
    // Written beside the target and renamed over it, so that a failure leaves
    // no half-written file and an existing file stays intact until then.
    const std::string partial = file + ".vrkreg-partial";
    {
        std::ofstream f(partial, std::ios::binary | std::ios::trunc);
        if (f) f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (f) f.close();
        if (!f) {
            std::filesystem::remove(partial, ec);
            throw CommandFailure("cannot write " + file + ": it cannot be created or written");
        }
    }
    std::filesystem::rename(partial, file, ec);
    if (ec) {
        std::filesystem::remove(partial, ec);
        throw CommandFailure("cannot write " + file + ": " + ec.message());
    }
    out << kSuccessText << "\n";
    return 0;
}

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const std::vector<std::string>&, const Context&);
};

const Command kCommands[] = {
    {"query", kQueryUsage, runQuery},   {"add", kAddUsage, runAdd},
    {"delete", kDeleteUsage, runDelete}, {"import", kImportUsage, runImport},
    {"export", kExportUsage, runExport},
};

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
        case vrk::reg::kRegExpandSz:
            return data.substr(0, data.find('\0'));
        case vrk::reg::kRegMultiSz: {
            std::vector<std::string> items;
            std::size_t start = 0;
            while (start <= data.size()) {
                const std::size_t cut = data.find('\0', start);
                items.push_back(data.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
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
            if (data.size() != 4) break;
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(littleEndian(data)));
            return buf;
        case vrk::reg::kRegDwordBigEndian:
            if (data.size() != 4) break;
            std::snprintf(buf, sizeof buf, "0x%x",
                          static_cast<unsigned>(littleEndian(std::string(data.rbegin(), data.rend()))));
            return buf;
        case vrk::reg::kRegQword:
            if (data.size() != 8) break;
            std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(littleEndian(data)));
            return buf;
        default:
            break;
    }
    return hexUpper(data);
}

int runRegCommand(const std::vector<std::string>& args, Registry& reg, std::ostream& out, std::ostream& err,
                  const std::function<void()>& beforeBinaryOutput) {
    if (args.empty()) {
        err << "vrkreg: a command is missing\nType \"vrkreg /?\" for usage.\n";
        return 1;
    }
    if (isHelp(args[0])) {
        out << kGeneralUsage;
        return 0;
    }
    const std::string word = lowerCase(args[0]);
    for (const Command& c : kCommands) {
        if (word != c.name) continue;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (isHelp(args[i])) {
                out << c.usage;
                return 0;
            }
        }
        try {
            return c.run(args, Context{reg, out, beforeBinaryOutput});
        } catch (const UsageError& e) {
            err << "vrkreg " << c.name << ": " << e.text << "\nType \"vrkreg " << c.name << " /?\" for usage.\n";
        } catch (const CommandFailure& e) {
            err << "vrkreg " << c.name << ": " << e.what() << "\n";
        } catch (const std::exception& e) {
            err << "vrkreg " << c.name << ": " << e.what() << "\n";
        }
        return 1;
    }
    err << "vrkreg: unknown command \"" << args[0] << "\"\nType \"vrkreg /?\" for usage.\n";
    return 1;
}

}  // namespace vrk::regfile
