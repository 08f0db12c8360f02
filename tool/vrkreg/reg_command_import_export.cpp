// The registry command's import (a .reg file checked whole, then applied as
// one batch) and export (a key's subtree written to a .reg file or to
// standard output).
#include <filesystem>
#include <functional>
#include <optional>

#include "tool/vrkreg/export_file.hpp"
#include "tool/vrkreg/reg_command_support.hpp"
#include "tool/vrkreg/reg_import.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_writer.hpp"

namespace vrk::regfile::regcmd {

namespace {

// Export bytes are written in pieces of about this size.
constexpr std::size_t kWriteChunk = 64 * 1024;

}  // namespace

int runImport(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {"skipbad"}, {});
    if (o.positional.size() != 1) throw UsageError{"import needs exactly one FILE"};
    const std::string& file = o.positional[0];
    std::optional<InputFile> input;
    try {
        input.emplace(file);
    } catch (const ReadFailure& f) {
        throw CommandFailure("cannot read " + file + ": " + f.what() + "; nothing was imported");
    }
    if (!o.has("skipbad")) {
        importRegFile(reg, *input, file);
        out << kSuccessText << "\n";
        return 0;
    }
    const SkipSink report = [&](unsigned line, const std::string& reason) {
        ctx.err << "vrkreg import: " << file << ":" << line << ": skipped: " << reason << "\n";
    };
    const unsigned skipped = importRegFile(reg, *input, file, &report);
    if (skipped == 0) {
        out << kSuccessText << "\n";
        return 0;
    }
    out << "The rest of the file was imported; " << skipped
        << (skipped == 1 ? " line was" : " lines were") << " skipped.\n";
    return 2;
}

int runExport(const std::vector<std::string>& args, const Context& ctx) {
    Registry& reg = ctx.reg;
    std::ostream& out = ctx.out;
    const Options o = parseOptions(args, {"y"}, {});
    if (o.positional.size() != 2) throw UsageError{"export needs a KEY and a FILE"};
    // As with Windows' reg, /y comes after KEY and FILE.
    for (std::size_t i = 1, seen = 0; i < args.size() && seen < 2; ++i) {
        if (args[i] == o.positional[seen]) {
            ++seen;
        } else {
            throw UsageError{"options go after KEY and FILE"};
        }
    }
    const KeyPath key = parseKeyArgument(o.positional[0]);
    const std::string& file = o.positional[1];
    const bool toStdout = file == "-";
    std::error_code ec;
    if (!toStdout && std::filesystem::exists(file, ec) && !o.has("y"))
        throw CommandFailure("cannot export to " + file +
                             ": the file exists (add /y to replace it)");

    // Written a key at a time: memory follows the deepest path and the
    // largest key, not the size of the subtree.
    const auto eachBlock = [&](const std::function<void(const std::string&)>& write) {
        std::string bytes = regFileHeader();
        std::string why;
        walkTree(reg, key, [&](vrk::reg::Key k, const KeyPath& path) {
            const std::string pathText = fullPath(path);
            if (!appendKeyBlock(KeyBlock{path, readValues(reg, k, pathText)}, bytes, why))
                throw CommandFailure("cannot export " + fullPath(key) + ": " + why);
            if (bytes.size() >= kWriteChunk) {
                write(bytes);
                bytes.clear();
            }
        });
        write(bytes);
    };
    if (toStdout) {
        if (ctx.beforeBinaryOutput) ctx.beforeBinaryOutput();
        eachBlock([&](const std::string& bytes) {
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (!out)
                throw CommandFailure("cannot write the export of " + fullPath(key) +
                                     " to standard output");
        });
        out.flush();
        if (!out)
            throw CommandFailure("cannot write the export of " + fullPath(key) +
                                 " to standard output");
        return 0;
    }
    // The key must exist before any file is made.
    openExisting(reg, key, vrk::reg::kKeyRead);
    ExportFile target(file);
    eachBlock([&](const std::string& bytes) { target.write(bytes); });
    target.commit();
    out << kSuccessText << "\n";
    return 0;
}

}  // namespace vrk::regfile::regcmd
