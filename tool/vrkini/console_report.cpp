// Change report on standard output.
#include "tool/vrkini/console_report.hpp"

#include <cstdio>

IString escapedValue(const IString& value) {
    return IString::substituted(value, IString('\n'), "\\x0A", 1, 4294967295u);
}

void writeConsoleLine(const IString& text) {
    std::fputs(static_cast<const char*>(text), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

IString entryLabel(const IString& application, const IString& key) {
    return IString("appName=") + application + " " + "keyName=" + key + " ";
}

void reportUnchanged(const IString& application, const IString& key, const char* verdict) {
    writeConsoleLine(entryLabel(application, key) + verdict);
}

void reportChanged(const IString& application, const IString& key, const IString& oldValue,
                   const IString& newValue) {
    writeConsoleLine(entryLabel(application, key) + "was changed:");
    writeConsoleLine(IString("  from \"") + escapedValue(oldValue) + "\"");
    writeConsoleLine(IString("  to \"") + escapedValue(newValue) + "\"");
}
