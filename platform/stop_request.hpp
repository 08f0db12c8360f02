// The user's request to stop a program that runs until it is told to end:
// Ctrl-C and SIGTERM on Linux; Ctrl-C, Ctrl-Break and closing the console
// on Windows. The request only sets a flag that the program polls.
//
// Thread safety: install once, from the main thread; stopRequested may be
// called from any thread.
#pragma once

namespace vrk::platform {

// Turns the stop requests into the flag (instead of ending the process). A
// wait of the program is not resumed after a request on Linux, so it
// returns early.
void installStopRequestHandlers();

// True once a stop was requested.
bool stopRequested();

}  // namespace vrk::platform
