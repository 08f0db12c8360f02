// INTERNAL to the registry command: included only by the
// tool/vrkreg/reg_command*.cpp files, not part of vrk_regfile's interface.
// What the command's files share: the context a command runs with, the
// error for bad arguments, the option parser and the KEY argument, the
// batch wrapper, and the entry point of each command.
//
// Thread safety: one command at a time per registry.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "registry/iregistry.hpp"
#include "tool/vrkreg/reg_access.hpp"
#include "tool/vrkreg/regfile_model.hpp"

namespace vrk::regfile {

using vrk::reg::Registry;

namespace regcmd {

const char* const kSuccessText = "The operation completed successfully.";

// What a command works with.
struct Context {
    Registry& reg;
    std::ostream& out;
    std::ostream& err;  // for notes beside the output, such as skipped lines
    const std::function<void()>& beforeBinaryOutput;
};

// Bad arguments: reported with a hint to the usage text.
struct UsageError {
    std::string text;
};

// The text with A to Z lower-cased.
std::string lowerCase(std::string s);

// Whether the argument asks for the usage text ("/?", "-h", "--help", ...).
bool isHelp(const std::string& arg);

// The options and positional arguments of a command line.
struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // options with an argument
    std::set<std::string> flags;                // options without one
    // /reg:32 or /reg:64, taken by every command; "" when neither is given.
    std::string view;

    bool has(const std::string& name) const { return flags.count(name) || values.count(name); }
    const std::string* value(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second;
    }
};

// Splits the arguments after the command word into options and positional
// arguments. Throws UsageError for an unknown option, one given twice or one
// that lacks its argument.
Options parseOptions(const std::vector<std::string>& args, const std::set<std::string>& flagNames,
                     const std::set<std::string>& valueNames);

// The KEY argument ("HKLM\Software\SV.INI") as a root and a subkey path.
// Throws UsageError for a bad root word or an empty name between
// backslashes.
KeyPath parseKeyArgument(const std::string& text);

// A failure after which the store may keep part of the changes: the batch
// could not be rolled back.
class PartlyApplied : public CommandFailure {
public:
    using CommandFailure::CommandFailure;
};

// Rolls the batch back after a failure described by text; throws
// PartlyApplied when the store cannot roll it back.
void rollBackAfter(Registry& reg, const std::string& text, long error);

// Runs fn inside a batch of reg: committed when fn returns, rolled back when
// it throws. A failed rollback turns the failure into PartlyApplied.
template <typename Fn>
void inBatch(Registry& reg, const std::string& what, Fn fn) {
    long rc = reg.beginBatch();
    if (rc != vrk::reg::kSuccess) throwFailure(reg, "cannot begin a batch for " + what, rc);
    try {
        fn();
    } catch (const CommandFailure& f) {
        rollBackAfter(reg, f.what(), f.error());
        throw;
    } catch (const std::exception& e) {
        rollBackAfter(reg, e.what(), 0);
        throw;
    } catch (...) {
        rollBackAfter(reg, "an unknown failure", 0);
        throw;
    }
    rc = reg.commitBatch();
    // A commit that fails may have reached the disk before the failure (a
    // write-ahead log written whole but not synced): say so, never "nothing".
    if (rc != vrk::reg::kSuccess)
        throw PartlyApplied(failureText(reg, "cannot commit " + what, rc) +
                                ": it may have been applied whole or not at all",
                            rc);
}

// The commands; each throws UsageError for bad arguments and
// CommandFailure when the command fails, and returns the exit status.
int runQuery(const std::vector<std::string>& args, const Context& ctx);
int runAdd(const std::vector<std::string>& args, const Context& ctx);
int runDelete(const std::vector<std::string>& args, const Context& ctx);
int runImport(const std::vector<std::string>& args, const Context& ctx);
int runExport(const std::vector<std::string>& args, const Context& ctx);

}  // namespace regcmd

}  // namespace vrk::regfile
