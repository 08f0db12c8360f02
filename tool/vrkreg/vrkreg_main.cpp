// vrkreg: the registry command for our store (query, add, delete, import,
// export), run on the process-wide registry.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/binary_stdout.hpp"
#include "platform/registry/iregistry.hpp"
#include "tool/vrkreg/reg_command.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    try {
        return vrk::regfile::runRegCommand(args, vrk::reg::registry(), std::cout, std::cerr,
                                           vrk::platform::setStdoutBinary);
    } catch (const std::exception& e) {
        std::cerr << "vrkreg: " << e.what() << "\n";
        return 1;
    }
}
