// vrkreg: the registry command for our store (query, add, delete, import,
// export), run on the process-wide registry.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/binary_stdout.hpp"
#include "platform/process.hpp"
#include "registry/iregistry.hpp"
#include "tool/vrkreg/reg_command.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    int status = 1;
    // A write beyond the file-size limit fails the command with its reason.
    vrk::platform::ignoreFileSizeSignal();
    try {
        status = vrk::regfile::runRegCommand(args, vrk::reg::registry(), std::cout, std::cerr,
                                             vrk::platform::setStdoutBinary);
    } catch (const std::exception& e) {
        std::cerr << "vrkreg: " << e.what() << "\n";
        return 1;
    }
    // The last of the output reaches its file only when standard output is
    // flushed; a failure there is a failure of the command.
    std::cout.flush();
    errno = 0;
    const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    const int error = errno != 0 ? errno : EIO;
    if (!written && status == 0) {
        std::cerr << "vrkreg: cannot write to standard output (" << std::strerror(error) << ")\n";
        return 1;
    }
    return status;
}
