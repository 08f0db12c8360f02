// The registry command's usage texts and its dispatch: runRegCommand picks
// the command by its word, shows a usage text on request and turns the
// command's errors into messages on standard error.
#include "tool/vrkreg/reg_command.hpp"

#include <cerrno>
#include <cstring>

#include "registry/registry_view.hpp"
#include "tool/vrkreg/reg_command_support.hpp"

namespace vrk::regfile {

using namespace regcmd;

namespace {

const char* const kGeneralUsage =
    "Usage: vrkreg COMMAND ARGUMENTS\n"
    "\n"
    "Commands:\n"
    "  query   KEY [/v NAME | /ve] [/s]          show values and subkeys\n"
    "  add     KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
    "                                            create a key or set a value\n"
    "  delete  KEY [/v NAME | /ve | /va] [/f]    delete a value, all values, or a key\n"
    "  import  FILE [/skipbad]                   apply a .reg file, all or nothing\n"
    "  export  KEY FILE [/y]                     write a key and its subtree to a .reg file\n"
    "\n"
    "KEY starts with a root: HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU),\n"
    "HKEY_USERS (HKU) or HKEY_CLASSES_ROOT (HKCR), e.g. HKLM\\Software\\SV.INI.\n"
    "Options start with / or -; their names ignore letter case.\n"
    "Every command takes /reg:32 or /reg:64, the registry view to work in: on\n"
    "Windows the 32-bit view (the default, where the suite keeps its profile) or\n"
    "the 64-bit view; on a Windows image (\"hive:DIR\" below) HKLM\\Software with or\n"
    "without Software\\Wow6432Node; our own store has one view, which both name.\n"
    "The store's directory comes from the environment variable \"TORQA REGISTRY\"\n"
    "(or \"TORQA_REGISTRY\").\n"
    "\"hive:DIR\" there works on a Windows image's config directory; HKLM\\Software is\n"
    "then its 32-bit view (Software\\Wow6432Node) when the image has one.\n"
    "Type \"vrkreg COMMAND /?\" for the details of a command, \"vrkreg --version\" for\n"
    "the version.\n";

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
    "  /ve      set the default (unnamed) value (so does an add without /v;\n"
    "           without /d it becomes the empty text)\n"
    "  /t TYPE  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,\n"
    "           REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY or REG_NONE\n"
    "  /s SEP   the character between the strings of REG_MULTI_SZ data\n"
    "           (without it they are separated by the two characters \\0)\n"
    "  /d DATA  the data: text; a number in decimal or 0x hex for REG_DWORD and\n"
    "           REG_QWORD (needed for REG_DWORD; REG_QWORD also takes a negative\n"
    "           decimal); hex digits for REG_BINARY (an odd count reads as if a 0\n"
    "           led them); REG_NONE stores the text as UTF-16 with a final zero\n"
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
    "Usage: vrkreg import FILE [/skipbad]\n"
    "\n"
    "  FILE     a .reg file (REGEDIT4 or Windows Registry Editor Version 5.00,\n"
    "           8-bit or UTF-16LE text)\n"
    "  /skipbad skip malformed lines as Windows' reg does and apply the rest;\n"
    "           each skipped line is named on standard error, and the exit\n"
    "           status is 2 when any line was skipped\n"
    "\n"
    "The whole file is checked first; a malformed file changes nothing and the\n"
    "error names its line. The file is then read again and its changes are\n"
    "applied as one batch. A file that cannot be read to its end imports nothing.\n"
    "A line may hold at most 4194304 characters, a value at most 16777216 bytes\n"
    "of data; a longer line or value makes the file malformed.\n";

const char* const kExportUsage =
    "Usage: vrkreg export KEY FILE [/y]\n"
    "\n"
    "  KEY      the key to write, with every key below it\n"
    "  FILE     the .reg file to write (UTF-16LE, version 5.00); - writes to\n"
    "           standard output\n"
    "  /y       replace FILE if it exists (without /y an existing file is kept\n"
    "           and the command fails)\n";

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const std::vector<std::string>&, const Context&);
};

const Command kCommands[] = {
    {"query", kQueryUsage, runQuery},    {"add", kAddUsage, runAdd},
    {"delete", kDeleteUsage, runDelete}, {"import", kImportUsage, runImport},
    {"export", kExportUsage, runExport},
};

}  // namespace

int runRegCommand(const std::vector<std::string>& args, Registry& reg, std::ostream& out,
                  std::ostream& err, const std::function<void()>& beforeBinaryOutput) {
    if (args.empty()) {
        err << "vrkreg: a command is missing\nType \"vrkreg /?\" for usage.\n";
        return 1;
    }
    if (isHelp(args[0])) {
        out << kGeneralUsage;
        return 0;
    }
    if (args[0] == "--version") {
        out << "vrkreg " << VRK_VERSION << "\n";
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
            // The view is the command's own: /reg:32 or /reg:64 chooses it.
            vrk::reg::chooseRegistryView(vrk::reg::RegistryView::standard);
            const int status = c.run(args, Context{reg, out, err, beforeBinaryOutput});
            // Output that never arrived is a failure, whatever the command did.
            errno = 0;
            out.flush();
            if (!out) {
                const int error = errno;
                err << "vrkreg " << c.name << ": cannot write to standard output";
                if (error != 0) err << " (" << std::strerror(error) << ")";
                err << "\n";
                return 1;
            }
            return status;
        } catch (const UsageError& e) {
            err << "vrkreg " << c.name << ": " << e.text << "\nType \"vrkreg " << c.name
                << " /?\" for usage.\n";
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
