// The registry command's import (a .reg file checked whole, then applied as
// one batch) and export (a key's subtree written to a .reg file or to
// standard output).
#include <filesystem>
#include <fstream>
#include <optional>

#include "tool/vrkreg/reg_command_support.hpp"
#include "tool/vrkreg/reg_import.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_writer.hpp"

namespace vrk::regfile::regcmd {

int runImport(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {}, {});
    if (o.positional.size() != 1) throw UsageError{"import needs exactly one FILE"};
    const std::string& file = o.positional[0];
    std::optional<InputFile> input;
    try {
        input.emplace(file);
    } catch (const ReadFailure& f) {
        throw CommandFailure("cannot read " + file + ": " + f.what() + "; nothing was imported");
    }
    importRegFile(reg, *input, file);
    out << kSuccessText << "\n";
    return 0;
}

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

}  // namespace vrk::regfile::regcmd
