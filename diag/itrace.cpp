// ITraceLog's public operations: scopes, free text and options.
#include "diag/itrace.hpp"

#include <cstdio>
#include <cstring>

#include "diag/itrace_internal.hpp"

using vrk::tracing::gTrace;

namespace vrk::tracing {
constinit std::atomic<unsigned> gSwitch{0};
}

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
using vrk::tracing::enabled;
}  // namespace

void ITraceLog::enter(const char* functionName, long lineNumber) {
    vrk::tracing::configure();
    if (!enabled() || functionName == nullptr) return;
    functionName_ = functionName;
    try {
        std::string text(functionName);
        if (gTrace.lineNumbersShown.load(kRelaxed) && lineNumber > 0) {
            char number[32];
            std::snprintf(number, sizeof number, "(%ld)", lineNumber);
            text += number;
        }
        vrk::tracing::writeLine("+", text.data(), text.size());
    } catch (...) {
        // Tracing never fails its caller; out of memory drops the line.
    }
}

void ITraceLog::leave() noexcept {
    // The entry line was written, so the configuration has run.
    if (!enabled()) return;
    try {
        vrk::tracing::writeLine("-", functionName_, std::strlen(functionName_));
    } catch (...) {}
}

void ITraceLog::writeText(const IString& text) {
    vrk::tracing::configure();
    if (!enabled()) return;
    try {
        const char* data = text;
        vrk::tracing::writeLine(">", data ? data : "", data ? text.length() : 0);
    } catch (...) {}
}

void ITraceLog::writeText(const char* text) {
    vrk::tracing::configure();
    if (!enabled()) return;
    try {
        vrk::tracing::writeLine(">", text ? text : "", text ? std::strlen(text) : 0);
    } catch (...) {}
}

void ITraceLog::enable() { vrk::tracing::gSwitch.fetch_or(vrk::tracing::kEnabled, kRelaxed); }
void ITraceLog::disable() { vrk::tracing::gSwitch.fetch_and(~vrk::tracing::kEnabled, kRelaxed); }
bool ITraceLog::isEnabled() { return enabled(); }
void ITraceLog::showPrefix() { gTrace.prefixShown.store(true, kRelaxed); }
void ITraceLog::hidePrefix() { gTrace.prefixShown.store(false, kRelaxed); }
bool ITraceLog::isPrefixShown() { return gTrace.prefixShown.load(kRelaxed); }
void ITraceLog::showLineNumbers() { gTrace.lineNumbersShown.store(true, kRelaxed); }
void ITraceLog::hideLineNumbers() { gTrace.lineNumbersShown.store(false, kRelaxed); }
bool ITraceLog::areLineNumbersShown() { return gTrace.lineNumbersShown.load(kRelaxed); }

void ITraceLog::setDestination(Destination destination) {
    gTrace.destination.store(static_cast<int>(destination), kRelaxed);
}

ITraceLog::Destination ITraceLog::destination() {
    return static_cast<Destination>(gTrace.destination.load(kRelaxed));
}
