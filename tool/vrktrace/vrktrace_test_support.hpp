// What the end-to-end tests of vrktrace send and expect on every platform:
// the trace of this test process pointed at a monitor, a traced scope, the
// raw messages of other senders and the command lines, each with the lines
// the monitor shows for it.
//
// Thread safety: test code, one thread.
#pragma once

#include <string>
#include <vector>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"
#include "platform/debug_channel.hpp"

namespace vrktracetest {

// Sends this process's trace, without prefix and with line numbers, to the
// monitor at address.
inline void traceToQueueAt(const std::string& address) {
    vrk::platform::setDebugChannelAddress(address);
    vrk::tracing::configure();
    ITraceLog::enable();
    ITraceLog::hidePrefix();
    ITraceLog::showLineNumbers();
    ITraceLog::setDestination(ITraceLog::queue);
}

// Traces a scope with a line and a text of two lines in it; the monitor
// shows kScopeLines for it.
inline void traceAScope() {
    ITraceLog scope("profile()", 34);
    ITraceLog::write("No Selvarine profile was found");
    ITraceLog::write("two\nlines");
}
inline const char* const kScopeLines[] = {"+profile()(34)", "  >No Selvarine profile was found",
                                          "  >two", "  >lines", "-profile()"};

// Messages as any process may send them, with or without the trace's
// prefix and its zero byte; the monitor shows kRawMessageLines for them.
inline const std::string kRawMessages[] = {
    std::string("TORQA: plain\0", 13), std::string("TORQA: cut\0after", 16),
    std::string("no prefix\0", 10),    std::string("TORQA: ", 7),
    std::string("TORQA: \0", 8),       std::string("TORQA:x\0", 8)};
inline const char* const kRawMessageLines[] = {"plain", "cut", "no prefix", "", "", "TORQA:x"};

// Command lines that end the monitor at once: its exit status and how its
// standard output and error start.
struct CommandLineCase {
    std::vector<std::string> arguments;
    int status;
    const char* outputStart;
    const char* errorStart;
};
inline const CommandLineCase kCommandLineCases[] = {
    {{"--help"}, 0, "Usage: vrktrace [--address ADDRESS] [--escape | --raw]\n", ""},
    {{"-h"}, 0, "Usage: vrktrace [--address ADDRESS] [--escape | --raw]\n", ""},
    {{"--version"}, 0, "vrktrace " VRK_VERSION "\n", ""},
    {{"--raw", "--version"}, 0, "vrktrace " VRK_VERSION "\n", ""},
    {{"--bogus"}, 2, "", "vrktrace: unknown argument \"--bogus\"\n"},
    {{"--address"}, 2, "", "vrktrace: --address needs an address\n"},
    {{"--address", "@"}, 1, "", "vrktrace: invalid channel address \"@\"\n"},
};

}  // namespace vrktracetest
