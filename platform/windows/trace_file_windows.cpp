// The trace file destination on Windows: the runtime's append, as the trace
// has always written its file there (text mode, so a line ends in CR LF).
// Nothing here can wait on a reader: a named pipe without a server fails to
// open, and the line is dropped.
//
// The runtime's append moves to the end of the file and then writes, in two
// steps: two threads appending at once can both find the same end, and the
// later line overwrites the earlier one. The appends of one process are
// therefore made one at a time.
#include <cstdio>
#include <mutex>

#include "platform/trace_file.hpp"

namespace vrk::platform {

bool appendTraceLine(const std::string& path, const char* data, std::size_t size) {
    static std::mutex appending;
    std::lock_guard<std::mutex> hold(appending);
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return false;
    const bool whole = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    return whole && closed;
}

}  // namespace vrk::platform
