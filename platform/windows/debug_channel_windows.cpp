// Windows side of debug_channel.hpp: the mailslot of the debug monitor.
// Writers open it with CreateFileA (existing only) and send each message
// with one WriteFile; the monitor creates it with CreateMailslotA.
#include "platform/debug_channel.hpp"

#include <cstring>
#include <mutex>

#include <windows.h>

namespace vrk::platform {

namespace {

constexpr char kDefaultAddress[] = "\\\\.\\mailslot\\PRINTF32";
constexpr char kMailslotPrefix[] = "\\\\.\\mailslot\\";
constexpr std::size_t kMaxAddress = MAX_PATH - 1;
constexpr DWORD kPollMilliseconds = 10;

std::mutex gWriterLock;
std::string gAddress;  // empty: the default
HANDLE gWriter = INVALID_HANDLE_VALUE;

// A mailslot name of this machine: the prefix, then a non-empty name.
bool isValidAddress(const std::string& address) {
    const std::size_t prefixLength = sizeof kMailslotPrefix - 1;
    return address.size() > prefixLength && address.size() <= kMaxAddress &&
           _strnicmp(address.c_str(), kMailslotPrefix, prefixLength) == 0;
}

void closeWriterLocked() {
    if (gWriter != INVALID_HANDLE_VALUE) CloseHandle(gWriter);
    gWriter = INVALID_HANDLE_VALUE;
}

std::string systemText(DWORD error) {
    char text[256];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
    std::string result(text, n);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
    return result.empty() ? "error " + std::to_string(error) : result;
}

}  // namespace

const char* defaultDebugChannelAddress() { return kDefaultAddress; }

const char* debugChannelAddressForms() {
    return "\\\\.\\mailslot\\NAME, a mailslot of this machine";
}

std::string debugChannelAddress() {
    std::lock_guard<std::mutex> guard(gWriterLock);
    return gAddress.empty() ? std::string(kDefaultAddress) : gAddress;
}

void setDebugChannelAddress(const std::string& address) {
    std::lock_guard<std::mutex> guard(gWriterLock);
    closeWriterLocked();
    gAddress = address;
}

bool isDebugChannelOpen() {
    std::lock_guard<std::mutex> guard(gWriterLock);
    return gWriter != INVALID_HANDLE_VALUE;
}

bool openDebugChannel() {
    std::lock_guard<std::mutex> guard(gWriterLock);
    if (gWriter != INVALID_HANDLE_VALUE) return true;
    const std::string address = gAddress.empty() ? std::string(kDefaultAddress) : gAddress;
    if (!isValidAddress(address)) return false;
    const DWORD savedError = GetLastError();
    HANDLE handle = CreateFileA(address.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // The trace must not disturb the caller's last-error value.
    SetLastError(savedError);
    if (handle == INVALID_HANDLE_VALUE) return false;
    gWriter = handle;
    return true;
}

bool sendDebugMessage(const void* data, std::size_t length) {
    std::lock_guard<std::mutex> guard(gWriterLock);
    if (gWriter == INVALID_HANDLE_VALUE) return false;
    const DWORD savedError = GetLastError();
    DWORD written = 0;
    const BOOL ok = WriteFile(gWriter, data, static_cast<DWORD>(length), &written, nullptr);
    SetLastError(savedError);
    if (ok && written == length) return true;
    // The monitor is gone (its mailslot closed): the next open finds a new one.
    closeWriterLocked();
    return false;
}

void closeDebugChannel() {
    std::lock_guard<std::mutex> guard(gWriterLock);
    closeWriterLocked();
}

DebugMonitorChannel::~DebugMonitorChannel() { close(); }

bool DebugMonitorChannel::bind(const std::string& address, std::string& error) {
    close();
    if (!isValidAddress(address)) {
        error = "invalid channel address \"" + address + "\"";
        return false;
    }
    HANDLE handle = CreateMailslotA(address.c_str(), 0, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD cause = GetLastError();
        if (cause == ERROR_ALREADY_EXISTS)
            error = "another debug monitor already holds the channel " + address;
        else if (cause == ERROR_INVALID_NAME || cause == ERROR_BAD_PATHNAME)
            error = "invalid channel address \"" + address + "\"";
        else
            error = "cannot take the channel " + address + ": " + systemText(cause);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

DebugMonitorChannel::Receive DebugMonitorChannel::receive(std::string& message,
                                                          int timeoutMilliseconds) {
    if (handle_ == -1) return Receive::failed;
    HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD nextSize = MAILSLOT_NO_MESSAGE;
        DWORD count = 0;
        if (!GetMailslotInfo(handle, nullptr, &nextSize, &count, nullptr)) return Receive::failed;
        if (nextSize != MAILSLOT_NO_MESSAGE) {
            std::string buffer(nextSize, '\0');
            DWORD got = 0;
            if (!ReadFile(handle, buffer.data(), nextSize, &got, nullptr)) return Receive::failed;
            buffer.resize(got);
            message.swap(buffer);
            return Receive::message;
        }
        if (timeoutMilliseconds >= 0 &&
            GetTickCount64() - start >= static_cast<ULONGLONG>(timeoutMilliseconds))
            return Receive::timeout;
        Sleep(kPollMilliseconds);
    }
}

void DebugMonitorChannel::close() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    boundPath_.clear();
}

}  // namespace vrk::platform
