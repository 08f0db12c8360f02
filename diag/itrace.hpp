// ITraceLog: the library's diagnostic trace. Free-text lines (">"), and
// function trace scopes whose construction writes an entry line ("+") and
// whose destruction writes the matching exit line ("-"), indented per thread
// by the nesting of scopes.
//
// Tracing is off at start. The first trace operation (a write, or the
// construction or destruction of a scope) reads the environment once:
//   "TORQA TRACE"      ON | NOPREFIX            switches tracing on
//   "TORQA TRACETO"    STDERR|ERR, STDOUT|OUT, FILE, anything else = queue
//   "TORQA CHECKSTACK" TRUE | ON                adds the stack figure
//   "TORQA TRACEFILE"  the file of the file destination (read at every line)
// Each variable may also be spelt with an underscore ("TORQA_TRACE"); the
// form with a blank wins, and a blank form that is set but empty hides the
// underscore form.
//
// Destinations: standard error, standard output (flushed after each line),
// a file opened for append and closed again for every line, and the queue:
// the debug-monitor channel. On Linux that channel is the Unix-domain
// datagram socket in the abstract namespace "@TORQA/PRINTF32" (see
// platform/debug_channel.hpp), read by the monitor program vrktrace; each
// line arrives as one message "TORQA: " + text + one zero byte.
//
// Thread safety: every operation may be called from any thread. Each thread
// keeps its own nesting level and its own queue buffer; no lock is taken on
// the trace path (counters and tables are updated atomically).
#pragma once

#include <atomic>

#include "base/istring.hpp"
#include "base/ivbase.hpp"

namespace vrk::tracing {
// The switch word: kConfigured once the environment has been read, kEnabled
// while tracing is on. A trace operation has nothing to do exactly when the
// word is kConfigured alone, so a switched-off scope or write costs one
// relaxed load and a branch; everything else takes the out-of-line path.
// Constant-initialised, so usable from static constructors.
inline constexpr unsigned kConfigured = 1;
inline constexpr unsigned kEnabled = 2;
extern std::atomic<unsigned> gSwitch;

inline bool quiet() { return gSwitch.load(std::memory_order_relaxed) == kConfigured; }
}  // namespace vrk::tracing

class ITraceLog : public IVBase {
public:
    // Where trace lines go. The codes are fixed.
    enum Destination { queue = 0, standardError = 1, standardOutput = 2, file = 3 };

    // Opens a function trace scope. Runs the configuration if it has not run
    // yet. While tracing is enabled and functionName is not null, writes the
    // entry line "+" functionName, followed by "(" lineNumber ")" when line
    // numbers are shown and lineNumber > 0, and remembers functionName (not
    // copied: it must outlive the object). Otherwise writes nothing.
    ITraceLog(const char* functionName, long lineNumber = 0) {
        if (!vrk::tracing::quiet()) enter(functionName, lineNumber);
    }

    // Closes the scope: when the entry line was written and tracing is still
    // enabled, writes the exit line "-" functionName. Never throws.
    ~ITraceLog() override {
        if (functionName_ != nullptr) leave();
    }

    // Writes text as one free-text line (marker ">") while tracing is
    // enabled; runs the configuration first if needed. Line feeds inside the
    // text continue the line with the same prefix, indentation and marker.
    // The text ends at its first zero byte. A null pointer writes an empty
    // line. Never throws.
    static void write(const IString& text) {
        if (!vrk::tracing::quiet()) writeText(text);
    }
    static void write(const char* text) {
        if (!vrk::tracing::quiet()) writeText(text);
    }

    // Option operations. They do not run the configuration, so the
    // configuration run by the first trace operation sets the prefix and
    // line-number flags again and may enable tracing or change the
    // destination.
    static void enable();
    static void disable();
    static bool isEnabled();
    static void showPrefix();
    static void hidePrefix();
    static bool isPrefixShown();
    static void showLineNumbers();
    static void hideLineNumbers();
    static bool areLineNumbersShown();
    static void setDestination(Destination destination);
    static Destination destination();

private:
    const char* functionName_ = nullptr;  // set only when the entry line was written

    // The paths taken unless tracing is configured and off.
    void enter(const char* functionName, long lineNumber);
    void leave() noexcept;
    static void writeText(const IString& text);
    static void writeText(const char* text);

    ITraceLog(const ITraceLog&) = delete;
    ITraceLog& operator=(const ITraceLog&) = delete;
};
