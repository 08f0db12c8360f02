// The trace file destination on Windows: the runtime's append, as the trace
// has always written its file there (text mode, so a line ends in CR LF).
// Nothing here can wait on a reader: a named pipe without a server fails to
// open, and the line is dropped.
#include <cstdio>

#include "platform/trace_file.hpp"

namespace vrk::platform {

bool appendTraceLine(const std::string& path, const char* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return false;
    const bool whole = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    return whole && closed;
}

}  // namespace vrk::platform
