// Costs of the registry calls on the platform's store, in a scratch directory.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "registry/iregistry.hpp"
#include "registry/testing/scratch_registry.hpp"

namespace {

using namespace vrk::reg;

// A scratch store in a fresh temporary directory, removed afterwards.
struct Store {
    Store() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vrkbench.XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        dir = ::mkdtemp(buf.data());
        reg = makeScratchRegistry(dir);
    }
    ~Store() {
        reg.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    Key create(Key parent, const std::string& path) {
        Key k = kNullKey;
        reg->createKeyEx(parent, path.c_str(), 0, kKeyReadWrite, &k, nullptr);
        return k;
    }
    std::string dir;
    std::unique_ptr<Registry> reg;
};

const unsigned char kData[] = "NOC NOEXIT ADATA";

void BM_PointQuery(benchmark::State& state) {
    Store s;
    Key k = s.create(kLocalMachine, "Software\\SV.INI\\CobolPopulate\\CompilerSelectedOptions");
    s.reg->setValueEx(k, "Data", kRegSz, kData, sizeof kData - 1);
    unsigned char buf[64];
    for (auto _ : state) {
        std::uint32_t size = sizeof buf;
        benchmark::DoNotOptimize(s.reg->queryValueEx(k, "Data", nullptr, buf, &size));
    }
    s.reg->closeKey(k);
}
BENCHMARK(BM_PointQuery);

// One committed change per call: the bytes differ from the stored ones each
// time, so the store really writes.
void BM_SetValue(benchmark::State& state) {
    Store s;
    Key k = s.create(kLocalMachine, "Software\\SV.INI\\App\\Key");
    unsigned char data[sizeof kData];
    std::memcpy(data, kData, sizeof kData);
    std::uint32_t n = 0;
    for (auto _ : state) {
        data[0] = static_cast<unsigned char>('A' + (++n & 15));
        benchmark::DoNotOptimize(s.reg->setValueEx(k, "Data", kRegSz, data, sizeof data - 1));
    }
    s.reg->closeKey(k);
}
BENCHMARK(BM_SetValue)->UseRealTime();

// The same inside one batch: the cost without a sync per call.
void BM_SetValueInBatch(benchmark::State& state) {
    Store s;
    Key k = s.create(kLocalMachine, "Software\\SV.INI\\App\\Key");
    s.reg->beginBatch();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.reg->setValueEx(k, "Data", kRegSz, kData, sizeof kData - 1));
    }
    s.reg->commitBatch();
    s.reg->closeKey(k);
}
BENCHMARK(BM_SetValueInBatch);

// Walking every subkey of a key with n subkeys, index by index: should grow
// linearly with n.
void BM_EnumerateSubkeys(benchmark::State& state) {
    Store s;
    const int n = static_cast<int>(state.range(0));
    Key parent = s.create(kLocalMachine, "Software\\SV.INI\\SQLQueryFolder");
    s.reg->beginBatch();
    for (int i = 0; i < n; ++i) s.reg->closeKey(s.create(parent, "Query" + std::to_string(i)));
    s.reg->commitBatch();
    char name[260];
    for (auto _ : state) {
        std::uint32_t i = 0;
        while (s.reg->enumKey(parent, i, name, sizeof name) == kSuccess) ++i;
        benchmark::DoNotOptimize(i);
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
    s.reg->closeKey(parent);
}
BENCHMARK(BM_EnumerateSubkeys)->RangeMultiplier(8)->Range(8, 8 << 9)->Complexity();

// Walking every value of a key with n values, index by index, as an export
// does: each index twice, first for the sizes, then for the data. Should grow
// linearly with n.
void BM_EnumerateValues(benchmark::State& state) {
    Store s;
    const int n = static_cast<int>(state.range(0));
    Key key = s.create(kLocalMachine, "Software\\SV.INI\\Many");
    s.reg->beginBatch();
    for (int i = 0; i < n; ++i) {
        std::string name = "Value" + std::to_string(i);
        s.reg->setValueEx(key, name.c_str(), kRegSz, kData, sizeof kData - 1);
    }
    s.reg->commitBatch();
    char name[260];
    unsigned char data[64];
    for (auto _ : state) {
        std::uint32_t i = 0;
        for (;; ++i) {
            std::uint32_t nameSize = sizeof name, type = 0, dataSize = 0;
            if (s.reg->enumValue(key, i, name, &nameSize, &type, nullptr, &dataSize) != kSuccess) {
                break;
            }
            nameSize = sizeof name;
            dataSize = sizeof data;
            s.reg->enumValue(key, i, name, &nameSize, &type, data, &dataSize);
        }
        benchmark::DoNotOptimize(i);
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
    s.reg->closeKey(key);
}
BENCHMARK(BM_EnumerateValues)->RangeMultiplier(8)->Range(8, 8 << 9)->Complexity();

// Point query in a big store: unrelated keys must not slow it down.
void BM_PointQueryInLargeStore(benchmark::State& state) {
    Store s;
    s.reg->beginBatch();
    for (int i = 0; i < state.range(0); ++i) {
        Key k = s.create(kLocalMachine,
                         "Software\\Other" + std::to_string(i % 50) + "\\K" + std::to_string(i));
        s.reg->setValueEx(k, "Data", kRegSz, kData, sizeof kData - 1);
        s.reg->closeKey(k);
    }
    s.reg->commitBatch();
    Key k = s.create(kLocalMachine, "Software\\SV.INI\\App\\Key");
    s.reg->setValueEx(k, "Data", kRegSz, kData, sizeof kData - 1);
    unsigned char buf[64];
    for (auto _ : state) {
        std::uint32_t size = sizeof buf;
        benchmark::DoNotOptimize(s.reg->queryValueEx(k, "Data", nullptr, buf, &size));
    }
    s.reg->closeKey(k);
}
BENCHMARK(BM_PointQueryInLargeStore)->Arg(10)->Arg(20000);

// Create-or-open of a key that exists, with read and write access, as the
// profile store opens its keys: no change, so no write lock.
void BM_CreateOrOpenExisting(benchmark::State& state) {
    Store s;
    Key app = s.create(kLocalMachine, "Software\\SV.INI\\App");
    s.reg->closeKey(s.create(app, "Key"));
    for (auto _ : state) {
        Key key = kNullKey;
        benchmark::DoNotOptimize(s.reg->createKeyEx(app, "Key", 0, kKeyReadWrite, &key, nullptr));
        s.reg->closeKey(key);
    }
    s.reg->closeKey(app);
}
BENCHMARK(BM_CreateOrOpenExisting);

// Open and close of an existing key.
void BM_OpenClose(benchmark::State& state) {
    Store s;
    Key app = s.create(kLocalMachine, "Software\\SV.INI\\App");
    s.reg->closeKey(s.create(app, "Key"));
    for (auto _ : state) {
        Key key = kNullKey;
        benchmark::DoNotOptimize(s.reg->openKeyEx(app, "Key", kKeyRead, &key));
        s.reg->closeKey(key);
    }
    s.reg->closeKey(app);
}
BENCHMARK(BM_OpenClose);

// Delete of a key with one value (its creation untimed).
void BM_DeleteKey(benchmark::State& state) {
    Store s;
    Key app = s.create(kLocalMachine, "Software\\SV.INI\\App");
    for (auto _ : state) {
        state.PauseTiming();
        Key key = s.create(app, "Doomed");
        s.reg->setValueEx(key, "Data", kRegSz, kData, sizeof kData - 1);
        s.reg->closeKey(key);
        state.ResumeTiming();
        benchmark::DoNotOptimize(s.reg->deleteKey(app, "Doomed"));
    }
    s.reg->closeKey(app);
}
BENCHMARK(BM_DeleteKey)->UseRealTime();

// What the profile store does for one read: open, query, close.
void BM_OpenQueryClose(benchmark::State& state) {
    Store s;
    Key k = s.create(kLocalMachine, "Software\\SV.INI\\App\\Key");
    s.reg->setValueEx(k, "Data", kRegSz, kData, sizeof kData - 1);
    s.reg->closeKey(k);
    Key app = s.create(kLocalMachine, "Software\\SV.INI\\App");
    unsigned char buf[64];
    for (auto _ : state) {
        Key key = kNullKey;
        s.reg->openKeyEx(app, "Key", kKeyRead, &key);
        std::uint32_t size = sizeof buf;
        benchmark::DoNotOptimize(s.reg->queryValueEx(key, "Data", nullptr, buf, &size));
        s.reg->closeKey(key);
    }
    s.reg->closeKey(app);
}
BENCHMARK(BM_OpenQueryClose);

// The same when another store object (standing for another process) has
// changed the store since the last read, as between two runs or while a
// walk deletes entries: nothing read before holds, so every call reads the
// store. The change itself is not timed.
void BM_OpenQueryCloseAfterChange(benchmark::State& state) {
    Store s;
    auto other = makeScratchRegistry(s.dir);
    Key k = s.create(kLocalMachine, "Software\\SV.INI\\App\\Key");
    s.reg->setValueEx(k, "Data", kRegSz, kData, sizeof kData - 1);
    s.reg->closeKey(k);
    Key app = s.create(kLocalMachine, "Software\\SV.INI\\App");
    Key elsewhere = kNullKey;
    other->createKeyEx(kLocalMachine, "Software\\Other", 0, kKeyReadWrite, &elsewhere, nullptr);
    unsigned char data[sizeof kData];
    std::memcpy(data, kData, sizeof kData);
    std::uint32_t n = 0;
    unsigned char buf[64];
    for (auto _ : state) {
        state.PauseTiming();
        data[0] = static_cast<unsigned char>('A' + (++n & 15));
        other->setValueEx(elsewhere, "Data", kRegSz, data, sizeof data - 1);
        state.ResumeTiming();
        Key key = kNullKey;
        s.reg->openKeyEx(app, "Key", kKeyRead, &key);
        std::uint32_t size = sizeof buf;
        benchmark::DoNotOptimize(s.reg->queryValueEx(key, "Data", nullptr, buf, &size));
        s.reg->closeKey(key);
    }
    other->closeKey(elsewhere);
    s.reg->closeKey(app);
}
BENCHMARK(BM_OpenQueryCloseAfterChange);

}  // namespace

BENCHMARK_MAIN();
