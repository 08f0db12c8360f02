// libFuzzer target for the .reg reader: any input either fails cleanly or
// gives changes that, written out as an export and read again, come back
// the same, except that a REG_SZ comes back as its text up to the first zero
// with one terminating zero: the export writes it as a quoted string, as
// Windows' reg export does, and reg import stores "" with its zero.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_writer.hpp"

namespace {

using vrk::regfile::KeyBlock;
using vrk::regfile::Operation;

// The keys and values a parse names, in file order; deletions are left out.
std::vector<KeyBlock> blocksOf(const std::vector<Operation>& ops) {
    std::vector<KeyBlock> blocks;
    for (const Operation& op : ops) {
        if (op.kind == Operation::Kind::openKey) {
            blocks.push_back({op.key, {}});
        } else if (op.kind == Operation::Kind::setValue) {
            if (blocks.empty() || !(blocks.back().key == op.key)) __builtin_trap();
            blocks.back().values.push_back({op.name, op.type, op.data});
        }
    }
    return blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const vrk::regfile::ParseResult first = vrk::regfile::parseRegFile(input);
    if (!first.ok) {
        if (first.error.empty() || first.errorLine == 0 || !first.operations.empty())
            __builtin_trap();
        return 0;
    }
    // A value line can only follow a key line of the same key, so blocksOf
    // keeps every value. Deletions have no place in an export.
    const std::vector<KeyBlock> blocks = blocksOf(first.operations);
    std::vector<KeyBlock> expected = blocks;
    for (KeyBlock& block : expected) {
        for (vrk::regfile::ValueEntry& value : block.values) {
            if (value.type != vrk::reg::kRegSz) continue;
            value.data.resize(std::min(value.data.find('\0'), value.data.size()));
            value.data.push_back('\0');
        }
    }
    std::string file;
    std::string why;
    if (!vrk::regfile::writeRegFile(blocks, file, why)) __builtin_trap();
    const vrk::regfile::ParseResult second = vrk::regfile::parseRegFile(file);
    if (!second.ok || second.version != 5 || !second.utf16) __builtin_trap();
    if (blocksOf(second.operations) != expected) __builtin_trap();
    return 0;
}
