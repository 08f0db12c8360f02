// The registry command's arguments: help words, options (/x or -x, names in
// any letter case) and the KEY argument with its root word.
#include <cctype>

#include "registry/registry_view.hpp"
#include "tool/vrkreg/reg_command_support.hpp"

namespace vrk::regfile::regcmd {

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isHelp(const std::string& arg) {
    const std::string a = lowerCase(arg);
    return a == "/?" || a == "-?" || a == "/h" || a == "-h" || a == "--help" || a == "/help" ||
           a == "-help";
}

namespace {

// /reg:32 and /reg:64 choose the registry view the command works in, before
// its first registry call.
void chooseView(const std::string& name) {
    using vrk::reg::RegistryView;
    vrk::reg::chooseRegistryView(name == "reg:64" ? RegistryView::bits64 : RegistryView::bits32);
}

// True for an argument that is written as an option: / or - followed by a
// name. "-" alone is positional, and so is a /-argument that looks like a
// path ("/tmp/out.reg": a second slash, a backslash or a dot).
bool looksLikeOption(const std::string& a) {
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) return false;
    if (a[0] == '/' && a.find_first_of("/\\.", 1) != std::string::npos) return false;
    return true;
}

}  // namespace

// Splits the arguments after the command word into options and positional
// arguments.
Options parseOptions(const std::vector<std::string>& args, const std::set<std::string>& flagNames,
                     const std::set<std::string>& valueNames) {
    Options o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (looksLikeOption(a)) {
            const std::string name = lowerCase(a.substr(1));
            if (name == "reg:32" || name == "reg:64") {
                if (!o.view.empty()) throw UsageError{"the registry view is given twice"};
                o.view = name;
                chooseView(name);
                continue;
            }
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

void rollBackAfter(Registry& reg, const std::string& text, long error) {
    const long rc = reg.rollbackBatch();
    if (rc == vrk::reg::kSuccess) return;
    throw PartlyApplied(
        text + "; then " +
            failureText(reg, "the store could not roll back the changes made before", rc) +
            ": some of them may remain",
        error);
}

}  // namespace vrk::regfile::regcmd
