// Windows side of stop_request.hpp: a console control handler.
#include "platform/stop_request.hpp"

#include <atomic>

#include <windows.h>

namespace vrk::platform {

namespace {

std::atomic<bool> gStop{false};

BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: gStop = true; return TRUE;
    default: return FALSE;
    }
}

}  // namespace

void installStopRequestHandlers() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }

bool stopRequested() { return gStop; }

}  // namespace vrk::platform
