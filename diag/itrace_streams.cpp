// The standard-stream and file destinations of the trace.
#include <cstdio>

#include "diag/itrace_internal.hpp"
#include "platform/process.hpp"
#include "platform/trace_file.hpp"

namespace vrk::tracing {

namespace {
void writeAndFlush(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}
}  // namespace

void writeToStandardOutput(const std::string& line) { writeAndFlush(stdout, line); }

void writeToStandardError(const std::string& line) {
    writeAndFlush(platform::isNtFamily() ? stderr : stdout, line);
}

void writeToFile(const std::string& line) {
    std::string name;
    if (!lookupVariable("TORQA TRACEFILE", name)) return;
    const std::string path = platform::traceFileName(trimmed(name));
    // A file that cannot be opened, or cannot take the line at once (a FIFO
    // without a reader, a full pipe), drops it: the trace never stops its
    // caller.
    platform::appendTraceLine(path, line.data(), line.size());
}

}  // namespace vrk::tracing
