// Linux side of stop_request.hpp: SIGINT and SIGTERM.
#include "platform/stop_request.hpp"

#include <csignal>
#include <cstring>

namespace vrk::platform {

namespace {

volatile std::sig_atomic_t gStop = 0;

extern "C" void onStopSignal(int) { gStop = 1; }

}  // namespace

void installStopRequestHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a waiting receive returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() { return gStop != 0; }

}  // namespace vrk::platform
