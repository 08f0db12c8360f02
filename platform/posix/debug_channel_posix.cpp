// Linux side of debug_channel.hpp: Unix-domain datagram sockets.
#include "platform/debug_channel.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <mutex>

namespace vrk::platform {

namespace {

constexpr char kDefaultAddress[] = "@TORQA/PRINTF32";

std::mutex gWriterLock;
std::string gAddress;  // empty: the default
int gWriterSocket = -1;

// Fills addr from the textual address; false when it does not fit.
bool makeAddress(const std::string& address, sockaddr_un& addr, socklen_t& length) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (address.empty()) return false;
    if (address[0] == '@') {
        const std::size_t nameLength = address.size() - 1;
        if (nameLength == 0 || nameLength + 1 > sizeof addr.sun_path) return false;
        std::memcpy(addr.sun_path + 1, address.data() + 1, nameLength);
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + nameLength);
    } else {
        if (address.size() + 1 > sizeof addr.sun_path) return false;
        std::memcpy(addr.sun_path, address.data(), address.size());
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size() + 1);
    }
    return true;
}

void closeWriterLocked() {
    if (gWriterSocket >= 0) ::close(gWriterSocket);
    gWriterSocket = -1;
}

}  // namespace

const char* defaultDebugChannelAddress() { return kDefaultAddress; }

const char* debugChannelAddressForms() {
    return "@NAME for an abstract socket name, otherwise the path of a socket file";
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
    return gWriterSocket >= 0;
}

bool openDebugChannel() {
    std::lock_guard<std::mutex> guard(gWriterLock);
    if (gWriterSocket >= 0) return true;
    sockaddr_un addr;
    socklen_t length = 0;
    if (!makeAddress(gAddress.empty() ? std::string(kDefaultAddress) : gAddress, addr, length))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A monitor that stops reading must not hang the traced program.
    timeval limit{};
    limit.tv_sec = 2;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
        ::close(fd);
        return false;
    }
    gWriterSocket = fd;
    return true;
}

bool sendDebugMessage(const void* data, std::size_t length) {
    std::lock_guard<std::mutex> guard(gWriterLock);
    if (gWriterSocket < 0) return false;
    ssize_t sent;
    do {
        sent = ::send(gWriterSocket, data, length, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent == static_cast<ssize_t>(length)) return true;
    // A busy monitor (the wait for room ran out) keeps the channel; any other
    // failure means the monitor is gone, and the next open reconnects.
    if (sent >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closeWriterLocked();
    return false;
}

void closeDebugChannel() {
    std::lock_guard<std::mutex> guard(gWriterLock);
    closeWriterLocked();
}

DebugMonitorChannel::~DebugMonitorChannel() { close(); }

bool DebugMonitorChannel::bind(const std::string& address, std::string& error) {
    close();
    sockaddr_un addr;
    socklen_t length = 0;
    if (!makeAddress(address, addr, length)) {
        error = "invalid channel address \"" + address + "\"";
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return false;
    }
    int rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length);
    if (rc != 0 && errno == EADDRINUSE && address[0] != '@') {
        // A socket file: replace it when nobody answers on it any more.
        const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const bool alive =
            probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
        if (probe >= 0) ::close(probe);
        if (!alive && ::unlink(address.c_str()) == 0)
            rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length);
        else
            errno = EADDRINUSE;
    }
    if (rc != 0) {
        const int cause = errno;
        ::close(fd);
        if (cause == EADDRINUSE)
            error = "another debug monitor already holds the channel " + address;
        else
            error = "cannot take the channel " + address + ": " + std::strerror(cause);
        return false;
    }
    handle_ = fd;
    if (address[0] != '@') boundPath_ = address;
    return true;
}

DebugMonitorChannel::Receive DebugMonitorChannel::receive(std::string& message,
                                                          int timeoutMilliseconds) {
    if (handle_ < 0) return Receive::failed;
    const int fd = static_cast<int>(handle_);
    pollfd wait{};
    wait.fd = fd;
    wait.events = POLLIN;
    const int ready = ::poll(&wait, 1, timeoutMilliseconds < 0 ? -1 : timeoutMilliseconds);
    if (ready < 0) return errno == EINTR ? Receive::interrupted : Receive::failed;
    if (ready == 0) return Receive::timeout;
    char buffer[65536];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0) {
        if (errno == EINTR) return Receive::interrupted;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Receive::timeout;
        return Receive::failed;
    }
    message.assign(buffer, static_cast<std::size_t>(got));
    return Receive::message;
}

void DebugMonitorChannel::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (!boundPath_.empty()) ::unlink(boundPath_.c_str());
    boundPath_.clear();
}

}  // namespace vrk::platform
