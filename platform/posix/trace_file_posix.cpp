// The trace file on Linux: opened without blocking, so that a FIFO with no
// reader fails at once (ENXIO) instead of waiting for one; a regular file is
// written whole, anything else only as far as it takes bytes at once. What
// is there is written into as it is, never replaced.
#include "platform/trace_file.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.hpp"

namespace vrk::platform {

namespace {

// Whether a regular file would grow beyond the process's file-size limit
// with size bytes more: such a line is dropped whole rather than cut.
bool beyondSizeLimit(int fd, std::size_t size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
    return static_cast<rlim_t>(st.st_size) + size > limit.rlim_cur;
}

}  // namespace

bool appendTraceLine(const std::string& path, const char* data, std::size_t size) {
    // A line beyond the file-size limit must fail, not end the process.
    static const bool signalIgnored = (ignoreFileSizeSignal(), true);
    (void)signalIgnored;
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (beyondSizeLimit(fd, size)) {
        ::close(fd);
        return false;
    }
    // A regular file never blocks, so the loop finishes a short write there.
    // A pipe, socket or device that would block ends the line (EAGAIN); so
    // does a write beyond the size limit (EFBIG) or a full disk.
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
