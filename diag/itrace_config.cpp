// Reading the trace configuration from the environment.
#include <cstdlib>
#include <mutex>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"

namespace vrk::tracing {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
std::once_flag gConfigureOnce;

std::string normalisedVariable(const char* nameWithBlank, bool& set) {
    std::string value;
    set = lookupVariable(nameWithBlank, value);
    return upperCased(trimmed(value));
}

void readConfiguration() {
    gTrace.lineNumbersShown.store(true, kRelaxed);
    gTrace.prefixShown.store(true, kRelaxed);

    bool set = false;
    const std::string trace = normalisedVariable("TORQA TRACE", set);
    if (trace == "ON") {
        gSwitch.fetch_or(kEnabled, kRelaxed);
    } else if (trace == "NOPREFIX") {
        gSwitch.fetch_or(kEnabled, kRelaxed);
        gTrace.prefixShown.store(false, kRelaxed);
    }

    const std::string traceTo = normalisedVariable("TORQA TRACETO", set);
    if (traceTo.size() >= 3) {
        gSwitch.fetch_or(kEnabled, kRelaxed);
        ITraceLog::Destination destination = ITraceLog::queue;
        if (traceTo == "STDERR" || traceTo == "ERR")
            destination = ITraceLog::standardError;
        else if (traceTo == "STDOUT" || traceTo == "OUT")
            destination = ITraceLog::standardOutput;
        else if (traceTo == "FILE")
            destination = ITraceLog::file;
        gTrace.destination.store(destination, kRelaxed);
    }

    const std::string checkStack = normalisedVariable("TORQA CHECKSTACK", set);
    if (checkStack.size() >= 2 && (checkStack == "TRUE" || checkStack == "ON"))
        gTrace.stackCheck.store(true, kRelaxed);

    gSwitch.fetch_or(kConfigured, std::memory_order_release);
}
}  // namespace

void configure() {
    if (configured()) return;
    try {
        std::call_once(gConfigureOnce, readConfiguration);
    } catch (...) {
        // Out of memory while reading the environment: stay as we are.
    }
}

bool lookupVariable(const char* nameWithBlank, std::string& value) {
    const char* found = std::getenv(nameWithBlank);
    if (found == nullptr) {
        std::string underscored(nameWithBlank);
        for (char& c : underscored)
            if (c == ' ') c = '_';
        found = std::getenv(underscored.c_str());
    }
    if (found == nullptr) return false;
    value = found;
    return true;
}

std::string trimmed(const std::string& text) {
    static const char kWhite[] = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(kWhite);
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(kWhite);
    return text.substr(first, last - first + 1);
}

std::string upperCased(const std::string& text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return result;
}

}  // namespace vrk::tracing
