// The process-wide exception reporter and the library's start-up: a static
// initialization object, kept in this file beside IException::reporter() so
// that every program that raises an exception links it, installs the trace
// reporter, the allocator's out-of-memory handler and the terminate handler.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "diag/iexc.hpp"
#include "platform/process.hpp"

namespace {

// Set and read from any thread.
std::atomic<IExceptionReporter*> installedReporter{nullptr};

// Depth of NewHandlerSuspension objects alive on this thread.
thread_local unsigned newHandlerSuspended = 0;

IExceptionReporter& defaultReporter() {
    static IExceptionReporter reporter;
    return reporter;
}

ITraceExceptionReporter& traceReporter() {
    static ITraceExceptionReporter reporter;
    return reporter;
}

// Raises IOutOfMemory when an allocation fails. While suspended (texts being
// copied, a message being loaded, or this handler itself raising) a failed
// allocation fails plainly, as with no handler installed.
void newHandler() {
    if (newHandlerSuspended > 0) throw std::bad_alloc();
    vrk::diag::NewHandlerSuspension suspended;
    vrk::diag::raiseLibraryError(4, ISourceLocation("ibase", "TORQA_Init::newHandler()", 151),
                                 kOutOfMemory, false);
}

// An exception that nobody catches was reported when it was raised; end
// the process with status 3, with what the streams hold written out.
[[noreturn]] void terminateHandler() {
    std::fflush(nullptr);
    std::_Exit(3);
}

struct TORQA_Init {
    TORQA_Init() {
        IException::setReporter(&traceReporter());
        std::set_new_handler(newHandler);
        std::set_terminate(terminateHandler);
        // A write beyond the file-size limit (the trace file's, the store's)
        // fails as a write and is reported as such; it does not end the
        // process.
        vrk::platform::ignoreFileSizeSignal();
    }
};

TORQA_Init torqaInit;

}  // namespace

void IException::setReporter(IExceptionReporter* reporter) { installedReporter = reporter; }

IExceptionReporter& IException::reporter() {
    IExceptionReporter* installed = installedReporter.load();
    return installed != nullptr ? *installed : defaultReporter();
}

namespace vrk::diag {

NewHandlerSuspension::NewHandlerSuspension() { ++newHandlerSuspended; }

NewHandlerSuspension::~NewHandlerSuspension() { --newHandlerSuspended; }

}  // namespace vrk::diag
