// The trace file on Linux: opened without blocking, so that a FIFO with no
// reader fails at once (ENXIO) instead of waiting for one; a regular file is
// written whole, anything else only as far as it takes bytes at once.
#include "platform/trace_file.hpp"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace vrk::platform {

bool appendTraceLine(const std::string& path, const char* data, std::size_t size) {
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // A regular file never blocks, so the loop finishes a short write there.
    // A pipe, socket or device that would block ends the line (EAGAIN).
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    ::close(fd);
    return done == size;
}

}  // namespace vrk::platform
