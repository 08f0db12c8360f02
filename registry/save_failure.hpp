// Where a backend that writes its changes at the end of the run (the hive
// backend, when the registry goes at exit) reports a failure of that last
// write, besides standard error: a tool points it at its trace.
//
// Thread safety: the reporter is kept in an atomic; set it before the
// registry is used.
#pragma once

namespace vrk::reg {

using SaveFailureReporter = void (*)(const char* text);
// Null (the default): standard error only.
void setSaveFailureReporter(SaveFailureReporter reporter);
SaveFailureReporter saveFailureReporter();

}  // namespace vrk::reg
