// ITraceLog's public operations: scopes, free text and options.
#include "diag/itrace.hpp"

#include <cstdio>
#include <cstring>

#include "diag/itrace_internal.hpp"

using vrk::tracing::gTrace;

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

ITraceLog::ITraceLog(const char* functionName, long lineNumber) {
    vrk::tracing::configure();
    if (!gTrace.enabled.load(kRelaxed) || functionName == nullptr) return;
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

ITraceLog::~ITraceLog() {
    vrk::tracing::configure();
    if (!gTrace.enabled.load(kRelaxed) || functionName_ == nullptr) return;
    try {
        vrk::tracing::writeLine("-", functionName_, std::strlen(functionName_));
    } catch (...) {}
}

void ITraceLog::write(const IString& text) {
    vrk::tracing::configure();
    if (!gTrace.enabled.load(kRelaxed)) return;
    try {
        const char* data = text;
        vrk::tracing::writeLine(">", data ? data : "", data ? text.length() : 0);
    } catch (...) {}
}

void ITraceLog::write(const char* text) {
    vrk::tracing::configure();
    if (!gTrace.enabled.load(kRelaxed)) return;
    try {
        vrk::tracing::writeLine(">", text ? text : "", text ? std::strlen(text) : 0);
    } catch (...) {}
}

void ITraceLog::enable() { gTrace.enabled.store(true, kRelaxed); }
void ITraceLog::disable() { gTrace.enabled.store(false, kRelaxed); }
bool ITraceLog::isEnabled() { return gTrace.enabled.load(kRelaxed); }
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
