// The library's everyday costs beside std::string: copying (the same for 10
// bytes and 1 MiB, since copies share the buffer), concatenation,
// substitution, upper-casing and search; and the trace, switched off (a scope
// and a write must cost next to nothing), and switched on to a file and to
// standard output.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "base/istring.hpp"
#include "diag/itrace.hpp"

namespace {

void BM_IStringCopy(benchmark::State& state) {
    IString source(nullptr, static_cast<unsigned>(state.range(0)), 'x');
    for (auto _ : state) {
        IString copy(source);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_IStringCopy)->Arg(10)->Arg(1 << 20);

void BM_StdStringCopy(benchmark::State& state) {
    std::string source(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_StdStringCopy)->Arg(10)->Arg(1 << 20);

void BM_IStringConcat(benchmark::State& state) {
    IString a("C:\\SELVARINE"), b("\\SAMPLES\\QUERY\\VRKQD2CD.QRY");
    for (auto _ : state) {
        IString c = a + b;
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_IStringConcat);

void BM_StdStringConcat(benchmark::State& state) {
    std::string a("C:\\SELVARINE"), b("\\SAMPLES\\QUERY\\VRKQD2CD.QRY");
    for (auto _ : state) {
        std::string c = a + b;
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_StdStringConcat);

const char kPath[] = "C:\\SELVARINE\\SAMPLES\\QUERY\\VRKQD2CD.QRY";

void BM_IStringSubstitute(benchmark::State& state) {
    IString base(kPath);
    for (auto _ : state) {
        IString s(base);
        s.substitute("\\", 1, "/", 1);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_IStringSubstitute);

void BM_StdStringSubstitute(benchmark::State& state) {
    std::string base(kPath);
    for (auto _ : state) {
        std::string s(base);
        std::replace(s.begin(), s.end(), '\\', '/');
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_StdStringSubstitute);

void BM_IStringMakeUpperCase(benchmark::State& state) {
    IString base("c:\\selvarine\\samples\\query\\vrkqd2cd.qry");
    for (auto _ : state) {
        IString s(base);
        s.makeUpperCase();
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_IStringMakeUpperCase);

void BM_StdStringUpperCase(benchmark::State& state) {
    std::string base("c:\\selvarine\\samples\\query\\vrkqd2cd.qry");
    for (auto _ : state) {
        std::string s(base);
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_StdStringUpperCase);

void BM_IStringPositionOf(benchmark::State& state) {
    IString s(kPath);
    for (auto _ : state) benchmark::DoNotOptimize(s.positionOf("VRKQD2CD", 8));
}
BENCHMARK(BM_IStringPositionOf);

void BM_StdStringFind(benchmark::State& state) {
    std::string s(kPath);
    for (auto _ : state) benchmark::DoNotOptimize(s.find("VRKQD2CD"));
}
BENCHMARK(BM_StdStringFind);

// Tracing off (the default: no trace variable set).
void BM_TraceOffScope(benchmark::State& state) {
    ITraceLog::disable();
    for (auto _ : state) {
        ITraceLog scope("BM_TraceOffScope");
        benchmark::DoNotOptimize(&scope);
    }
}
BENCHMARK(BM_TraceOffScope);

void BM_TraceOffWrite(benchmark::State& state) {
    ITraceLog::disable();
    for (auto _ : state) ITraceLog::write("a trace line nobody reads");
}
BENCHMARK(BM_TraceOffWrite);

// Tracing on to a file (opened and closed for every line) and to standard
// output (sent to /dev/null by the caller, flushed each line).
void BM_TraceOnWriteFile(benchmark::State& state) {
    char path[] = "/tmp/vrktrace.XXXXXX";
    int fd = ::mkstemp(path);
    if (fd >= 0) ::close(fd);
    ::setenv("TORQA_TRACEFILE", path, 1);
    ITraceLog::write("");  // runs the configuration once before we set ours
    ITraceLog::setDestination(ITraceLog::file);
    ITraceLog::enable();
    for (auto _ : state) ITraceLog::write("a trace line into the file");
    ITraceLog::disable();
    std::remove(path);
}
BENCHMARK(BM_TraceOnWriteFile);

void BM_TraceOnWriteStdout(benchmark::State& state) {
    ITraceLog::write("");
    ITraceLog::setDestination(ITraceLog::standardOutput);
    ITraceLog::enable();
    for (auto _ : state) ITraceLog::write("a trace line on standard output");
    ITraceLog::disable();
}
BENCHMARK(BM_TraceOnWriteStdout);

}  // namespace

BENCHMARK_MAIN();
