// The registry command's import (a .reg file checked whole, then applied as
// one batch) and export (a key's subtree written to a .reg file or to
// standard output).
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "tool/vrkreg/reg_command_support.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_writer.hpp"

namespace vrk::regfile::regcmd {

namespace {

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

}  // namespace

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
