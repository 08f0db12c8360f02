// Costs of the .reg reader and writer on a large export, and of an import
// of many values into a scratch store (one batch).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "registry/testing/scratch_registry.hpp"
#include "tool/vrkreg/reg_command.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_writer.hpp"

namespace {

using namespace vrk::regfile;

// keys keys of 20 values each: strings, numbers and 100-byte binaries.
std::vector<KeyBlock> sampleBlocks(int keys) {
    std::vector<KeyBlock> blocks;
    for (int k = 0; k < keys; ++k) {
        KeyBlock b{{vrk::reg::kLocalMachine, "Software\\Bench\\Key" + std::to_string(k)}, {}};
        for (int v = 0; v < 20; ++v) {
            const std::string name = "Value" + std::to_string(v);
            if (v % 3 == 0) {
                b.values.push_back(
                    {name, vrk::reg::kRegSz, "some text \"quoted\" C:\\path " + name});
            } else if (v % 3 == 1) {
                b.values.push_back({name, vrk::reg::kRegDword, std::string("\x01\x02\x03\x04", 4)});
            } else {
                b.values.push_back(
                    {name, vrk::reg::kRegBinary, std::string(100, static_cast<char>(v))});
            }
        }
        blocks.push_back(std::move(b));
    }
    return blocks;
}

void BM_WriteExport(benchmark::State& state) {
    const auto blocks = sampleBlocks(static_cast<int>(state.range(0)));
    std::string file, why;
    for (auto _ : state) {
        writeRegFile(blocks, file, why);
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_WriteExport)->Arg(100)->Arg(1000);

void BM_ParseExport(benchmark::State& state) {
    std::string file, why;
    writeRegFile(sampleBlocks(static_cast<int>(state.range(0))), file, why);
    for (auto _ : state) {
        ParseResult r = parseRegFile(file);
        benchmark::DoNotOptimize(r.operations.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_ParseExport)->Arg(100)->Arg(1000);

// A whole import command: read, parse, apply in one batch.
void BM_ImportIntoScratchStore(benchmark::State& state) {
    std::random_device rd;
    const auto dir =
        std::filesystem::temp_directory_path() / ("vrkreg-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    std::string file, why;
    writeRegFile(sampleBlocks(static_cast<int>(state.range(0))), file, why);
    const std::string regFile = (dir / "in.reg").string();
    {
        std::ofstream out(regFile, std::ios::binary);
        out << file;
    }
    auto store = vrk::reg::makeScratchRegistry((dir / "store").string());
    for (auto _ : state) {
        std::ostringstream out, err;
        if (runRegCommand({"import", regFile}, *store, out, err) != 0)
            state.SkipWithError(err.str().c_str());
    }
    state.counters["values"] = benchmark::Counter(
        static_cast<double>(state.range(0) * 20) * state.iterations(), benchmark::Counter::kIsRate);
    store.reset();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ImportIntoScratchStore)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
