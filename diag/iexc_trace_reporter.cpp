// ITraceExceptionReporter: exception reports as trace lines.
#include "diag/iexc.hpp"
#include "diag/itrace.hpp"

void ITraceExceptionReporter::writeLine(const char* text) { ITraceLog::write(text); }
