// Runs a program as a child process and captures what it writes, for the
// end-to-end tests.
//
// Thread safety: one run at a time per process (the child inherits the
// parent's file descriptors between fork and exec).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vrk::test {

struct ProgramRun {
    int exitStatus = -1;  // the exit status, or 128 + signal number
    long processId = 0;   // the child's process id
    std::string standardOutput;
    std::string standardError;
};

struct ProgramOptions {
    // Arguments after the program name.
    std::vector<std::string> arguments;
    // Variables added to the child's environment. The child starts from this
    // process's environment with every variable whose name begins with
    // "TORQA" removed, so that a developer's own settings cannot leak in.
    std::map<std::string, std::string> environment;
    // The child's working directory; empty keeps this process's.
    std::string workingDirectory;
};

// Runs program with options and waits for it. Output is collected through
// temporary files in scratchDirectory. Fails the calling test (and returns
// exit status -1) when the program cannot be started.
ProgramRun runProgram(const std::string& program, const ProgramOptions& options,
                      const std::string& scratchDirectory);

// Splits text into lines at each line feed; a final line feed does not start
// another line. Each line keeps any carriage return it holds.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace vrk::test
