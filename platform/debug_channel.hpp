// The channel between a traced process and the debug monitor that shows its
// trace lines: one message per line, "TORQA: " + text + one zero byte.
//
// Address: on Linux a Unix-domain datagram socket in the abstract namespace,
// written "@TORQA/PRINTF32" (the leading '@' stands for the zero byte that
// starts an abstract name; no file is involved). An address without '@' is
// the path of a socket file. On Windows the channel is the mailslot
// "\\.\mailslot\PRINTF32" (any "\\.\mailslot\NAME" is an address there);
// writers open it shared for reading, existing only, and the monitor
// creates it.
//
// Writer side: the process-wide channel, opened lazily by the trace and kept
// open; a monitor that goes away closes it, and the next open reconnects.
// Monitor side: DebugMonitorChannel owns the address and receives messages.
//
// Thread safety: the writer-side functions may be called from any thread
// (they serialise on an internal lock). A DebugMonitorChannel object is used
// by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrk::platform {

// The fixed address of the debug monitor on this platform.
const char* defaultDebugChannelAddress();

// One line telling a user which forms of address this platform takes.
const char* debugChannelAddressForms();

// The address the writer side uses: the default unless a test changed it.
std::string debugChannelAddress();

// Test hook: points this process's writer side at another address (empty:
// back to the default) and closes an open channel.
void setDebugChannelAddress(const std::string& address);

// True while the writer side holds an open channel.
bool isDebugChannelOpen();

// Opens the channel to the monitor if it is not open. Returns false, leaving
// it closed, when no monitor holds the address.
bool openDebugChannel();

// Sends one message of length bytes in one write. Returns false when the
// channel is not open or the write fails; when the monitor has gone away the
// channel is closed as well, so that a later openDebugChannel reconnects.
// The send waits at most about two seconds for room at a busy monitor.
bool sendDebugMessage(const void* data, std::size_t length);

// Closes the writer side's channel (no effect when it is closed).
void closeDebugChannel();

// The monitor's end of the channel.
class DebugMonitorChannel {
public:
    enum class Receive { message, timeout, interrupted, failed };

    DebugMonitorChannel() = default;
    ~DebugMonitorChannel();
    DebugMonitorChannel(const DebugMonitorChannel&) = delete;
    DebugMonitorChannel& operator=(const DebugMonitorChannel&) = delete;

    // Takes the address. Returns false with a readable reason in error when
    // the address is malformed or another monitor already holds it. A stale
    // socket file left by a monitor that is gone is replaced.
    bool bind(const std::string& address, std::string& error);

    // Waits up to timeoutMilliseconds (negative: no limit) for one message
    // and stores its bytes in message. interrupted: a signal arrived.
    Receive receive(std::string& message, int timeoutMilliseconds);

    // Gives the address up (removes a socket file it created).
    void close();

private:
    std::intptr_t handle_ = -1;
    std::string boundPath_;  // socket file to remove on close, if any
};

}  // namespace vrk::platform
