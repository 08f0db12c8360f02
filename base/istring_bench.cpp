// IString costs: copies share the buffer (no bytes copied, no allocation),
// an unshared upper-casing works in place, and building results allocates
// one buffer each. The "buffers/op" counter is the number of buffers made per
// iteration.
#include "base/ibuffer.hpp"
#include "base/istring.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

IString longValue(unsigned length) { return IString(nullptr, length, 'x'); }

void reportBuffers(benchmark::State& state, unsigned long before) {
    state.counters["buffers/op"] =
        benchmark::Counter(static_cast<double>(IBuffer::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
}

// The cost must stay flat as the length grows: only the count changes.
void BM_CopyValue(benchmark::State& state) {
    IString source = longValue(static_cast<unsigned>(state.range(0)));
    unsigned long before = IBuffer::allocationCount();
    for (auto _ : state) {
        IString copy(source);
        benchmark::DoNotOptimize(copy);
    }
    reportBuffers(state, before);
}
BENCHMARK(BM_CopyValue)->Range(8, 1 << 20);

void BM_AssignValue(benchmark::State& state) {
    IString source = longValue(static_cast<unsigned>(state.range(0)));
    IString target;
    unsigned long before = IBuffer::allocationCount();
    for (auto _ : state) {
        target = source;
        benchmark::DoNotOptimize(target);
        target = IString();
    }
    reportBuffers(state, before);
}
BENCHMARK(BM_AssignValue)->Range(8, 1 << 20);

// For comparison: std::string copies its bytes.
void BM_CopyStdString(benchmark::State& state) {
    std::string source(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CopyStdString)->Range(8, 1 << 20);

// An unshared value upper-cases in place: 0 buffers per iteration.
void BM_UpperCaseInPlace(benchmark::State& state) {
    IString text = longValue(static_cast<unsigned>(state.range(0)));
    unsigned long before = IBuffer::allocationCount();
    for (auto _ : state) {
        text[1u] = 'a';  // one lower-case byte so that there is work to do
        text.makeUpperCase();
        benchmark::DoNotOptimize(text);
    }
    reportBuffers(state, before);
}
BENCHMARK(BM_UpperCaseInPlace)->Range(8, 1 << 16);

// A shared value must be copied first: 1 buffer per iteration.
void BM_UpperCaseShared(benchmark::State& state) {
    IString text = longValue(static_cast<unsigned>(state.range(0)));
    text[1u] = 'a';
    unsigned long before = IBuffer::allocationCount();
    for (auto _ : state) {
        IString copy(text);
        copy.makeUpperCase();
        benchmark::DoNotOptimize(copy);
    }
    reportBuffers(state, before);
}
BENCHMARK(BM_UpperCaseShared)->Range(8, 1 << 16);

// Concatenation and substitution make exactly one buffer per result.
void BM_Concatenate(benchmark::State& state) {
    IString left = longValue(static_cast<unsigned>(state.range(0)));
    IString right("keyName=");
    unsigned long before = IBuffer::allocationCount();
    for (auto _ : state) {
        IString result = left + right;
        benchmark::DoNotOptimize(result);
    }
    reportBuffers(state, before);
}
BENCHMARK(BM_Concatenate)->Range(8, 1 << 16);

void BM_SubstituteLineFeeds(benchmark::State& state) {
    std::string text;
    while (text.size() < static_cast<std::size_t>(state.range(0))) text += "C:\\dir\n";
    IString source(text.data(), static_cast<unsigned>(text.size()));
    IString lineFeed("\n");
    unsigned long before = IBuffer::allocationCount();
    for (auto _ : state) {
        IString result = IString::substituted(source, lineFeed, "\\x0A");
        benchmark::DoNotOptimize(result);
    }
    reportBuffers(state, before);
}
BENCHMARK(BM_SubstituteLineFeeds)->Range(8, 1 << 16);

}  // namespace

BENCHMARK_MAIN();
