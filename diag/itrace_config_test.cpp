// Trace configuration from the environment. Every case runs in a child
// process of its own, since the configuration runs once per process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"

namespace {

const char* const kVariables[] = {"TORQA TRACE",     "TORQA_TRACE",      "TORQA TRACETO",
                                  "TORQA_TRACETO",   "TORQA CHECKSTACK", "TORQA_CHECKSTACK",
                                  "TORQA TRACEFILE", "TORQA_TRACEFILE"};

void clearTraceVariables() {
    for (const char* name : kVariables) unsetenv(name);
}

// What the configuration left behind, packed into an exit status.
struct Outcome {
    bool enabled;
    bool prefixShown;
    bool lineNumbersShown;
    ITraceLog::Destination destination;
    bool stackCheck;

    int pack() const {
        return (enabled ? 1 : 0) | (prefixShown ? 2 : 0) | (lineNumbersShown ? 4 : 0) |
               (stackCheck ? 8 : 0) | (static_cast<int>(destination) << 4);
    }
    static Outcome unpack(int code) {
        return {(code & 1) != 0, (code & 2) != 0, (code & 4) != 0,
                static_cast<ITraceLog::Destination>(code >> 4), (code & 8) != 0};
    }
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{enabled=" << o.enabled << " prefix=" << o.prefixShown
               << " lineNumbers=" << o.lineNumbersShown << " destination=" << o.destination
               << " stackCheck=" << o.stackCheck << "}";
}

Outcome current() {
    return {ITraceLog::isEnabled(), ITraceLog::isPrefixShown(), ITraceLog::areLineNumbersShown(),
            ITraceLog::destination(), vrk::tracing::gTrace.stackCheck.load()};
}

// Runs body in a child with only the given trace variables set, then the
// configuration, and returns what it left behind.
Outcome configureInChild(const std::vector<std::pair<const char*, const char*>>& variables,
                         const std::function<void()>& before = {}) {
    const pid_t child = fork();
    if (child == 0) {
        clearTraceVariables();
        for (const auto& [name, value] : variables) setenv(name, value, 1);
        if (before) before();
        vrk::tracing::configure();
        _exit(current().pack());
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return Outcome::unpack(WEXITSTATUS(status));
}

constexpr ITraceLog::Destination Q = ITraceLog::queue;
constexpr ITraceLog::Destination ERR = ITraceLog::standardError;
constexpr ITraceLog::Destination OUT = ITraceLog::standardOutput;
constexpr ITraceLog::Destination FILE_ = ITraceLog::file;

struct Case {
    std::vector<std::pair<const char*, const char*>> variables;
    Outcome expected;
};

TEST(TraceConfiguration, VariablesTable) {
    const Outcome off{false, true, true, Q, false};
    const Case cases[] = {
        {{}, off},
        // TORQA TRACE
        {{{"TORQA TRACE", "ON"}}, {true, true, true, Q, false}},
        {{{"TORQA TRACE", " on "}}, {true, true, true, Q, false}},
        {{{"TORQA TRACE", "\t On\n"}}, {true, true, true, Q, false}},
        {{{"TORQA_TRACE", "ON"}}, {true, true, true, Q, false}},
        {{{"TORQA TRACE", ""}, {"TORQA_TRACE", "ON"}}, off},
        {{{"TORQA TRACE", "   "}, {"TORQA_TRACE", "ON"}}, off},
        {{{"TORQA TRACE", "OFF"}, {"TORQA_TRACE", "ON"}}, off},
        {{{"TORQA TRACE", "ONX"}}, off},
        {{{"TORQA TRACE", "O N"}}, off},
        {{{"TORQA TRACE", "NOPREFIX"}}, {true, false, true, Q, false}},
        {{{"TORQA_TRACE", " noPrefix "}}, {true, false, true, Q, false}},
        // TORQA TRACETO
        {{{"TORQA TRACETO", "STDOUT"}}, {true, true, true, OUT, false}},
        {{{"TORQA TRACETO", "out"}}, {true, true, true, OUT, false}},
        {{{"TORQA TRACETO", "StdErr"}}, {true, true, true, ERR, false}},
        {{{"TORQA TRACETO", " err "}}, {true, true, true, ERR, false}},
        {{{"TORQA TRACETO", "file"}}, {true, true, true, FILE_, false}},
        {{{"TORQA TRACETO", "QUEUE"}}, {true, true, true, Q, false}},
        {{{"TORQA TRACETO", "PMPRINTF"}}, {true, true, true, Q, false}},
        {{{"TORQA TRACETO", "XYZ"}}, {true, true, true, Q, false}},
        {{{"TORQA TRACETO", "NO"}}, off},
        {{{"TORQA TRACETO", "  NO  "}}, off},
        {{{"TORQA TRACETO", "STDOUTX"}}, {true, true, true, Q, false}},
        {{{"TORQA_TRACETO", "stdout"}}, {true, true, true, OUT, false}},
        {{{"TORQA TRACETO", ""}, {"TORQA_TRACETO", "STDOUT"}}, off},
        {{{"TORQA TRACETO", "ERR"}, {"TORQA_TRACETO", "STDOUT"}}, {true, true, true, ERR, false}},
        {{{"TORQA TRACE", "NOPREFIX"}, {"TORQA TRACETO", "FILE"}},
         {true, false, true, FILE_, false}},
        {{{"TORQA TRACE", "OFF"}, {"TORQA TRACETO", "STDERR"}}, {true, true, true, ERR, false}},
        // TORQA CHECKSTACK: needs tracing switched on by another variable to matter
        {{{"TORQA CHECKSTACK", "TRUE"}}, {false, true, true, Q, true}},
        {{{"TORQA CHECKSTACK", " on"}}, {false, true, true, Q, true}},
        {{{"TORQA_CHECKSTACK", "true "}}, {false, true, true, Q, true}},
        {{{"TORQA CHECKSTACK", "YES"}}, off},
        {{{"TORQA CHECKSTACK", "1"}}, off},
        {{{"TORQA CHECKSTACK", ""}, {"TORQA_CHECKSTACK", "ON"}}, off},
        {{{"TORQA TRACE", "ON"}, {"TORQA CHECKSTACK", "ON"}}, {true, true, true, Q, true}},
        // The trace file name is no configuration: read per line only.
        {{{"TORQA TRACEFILE", "x.log"}}, off},
    };
    for (const Case& c : cases) {
        std::string label;
        for (const auto& [name, value] : c.variables)
            label += std::string("[") + name + "=\"" + value + "\"] ";
        EXPECT_EQ(configureInChild(c.variables), c.expected) << label;
    }
}

TEST(TraceConfiguration, OptionsSetBeforeTheFirstTraceOperation) {
    // The configuration shows prefix and line numbers again but keeps the
    // enabled flag and the destination.
    auto hideAndSend = [] {
        ITraceLog::hidePrefix();
        ITraceLog::hideLineNumbers();
        ITraceLog::enable();
        ITraceLog::setDestination(ITraceLog::file);
    };
    EXPECT_EQ(configureInChild({}, hideAndSend), (Outcome{true, true, true, FILE_, false}));

    // Variables override what was set before.
    auto disableToStdout = [] {
        ITraceLog::disable();
        ITraceLog::setDestination(ITraceLog::standardOutput);
    };
    EXPECT_EQ(configureInChild({{"TORQA TRACETO", "ERR"}}, disableToStdout),
              (Outcome{true, true, true, ERR, false}));
    EXPECT_EQ(configureInChild({{"TORQA TRACE", "NOPREFIX"}}, disableToStdout),
              (Outcome{true, false, true, OUT, false}));
}

TEST(TraceConfiguration, OptionOperationsDoNotConfigure) {
    const pid_t child = fork();
    if (child == 0) {
        clearTraceVariables();
        setenv("TORQA TRACE", "ON", 1);
        ITraceLog::hidePrefix();
        ITraceLog::showLineNumbers();
        ITraceLog::setDestination(ITraceLog::standardOutput);
        const bool untouched = !ITraceLog::isEnabled() && !ITraceLog::isPrefixShown() &&
                               ITraceLog::areLineNumbersShown() &&
                               ITraceLog::destination() == ITraceLog::standardOutput &&
                               !vrk::tracing::configured();
        _exit(untouched ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(TraceConfiguration, RunsOnceAtTheFirstTraceOperation) {
    // Each kind of trace operation configures; later changes to the
    // environment are not seen.
    const std::function<void()> operations[] = {
        [] { ITraceLog::write("x"); },
        [] { ITraceLog::write(IString("x")); },
        [] { ITraceLog scope("f()", 1); },
    };
    for (const auto& operation : operations) {
        const pid_t child = fork();
        if (child == 0) {
            clearTraceVariables();
            setenv("TORQA TRACETO", "FILE", 1);  // the file name is unset: lines are dropped
            operation();
            const bool configuredAndOn = vrk::tracing::configured() && ITraceLog::isEnabled();
            setenv("TORQA TRACETO", "STDOUT", 1);
            ITraceLog::write("y");
            _exit(configuredAndOn && ITraceLog::destination() == ITraceLog::file ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

}  // namespace
