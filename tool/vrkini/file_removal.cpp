// Plain-file removal: the platform's, with the outcome of the Windows
// runtime's remove() everywhere.
#include "tool/vrkini/file_removal.hpp"

#include "platform/file_removal.hpp"

bool removeFile(const char* path) { return vrk::platform::removePlainFile(path); }
