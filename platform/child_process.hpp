// Starting another program with its standard output and standard error sent
// to files, for tools and tests that watch a program from outside.
//
// Thread safety: a ChildProcess object is used by one thread at a time.
#pragma once

#include <string>
#include <vector>

namespace vrk::platform {

// The file name of program name in directory, as the platform spells a
// program's file (name.exe on Windows, name on Linux).
std::string programFile(const std::string& directory, const std::string& name);

// The directory of the running program's file; empty when unknown.
std::string runningProgramDirectory();

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // ends a child that still runs, at once
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (a path) with the arguments, in the caller's working
    // directory and environment, standard input empty, standard output and
    // error written to outputPath and errorPath (created or emptied).
    // Returns false when the program cannot be started.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outputPath, const std::string& errorPath);

    // Waits for the child to end. Returns its exit status; -1 when it was
    // ended by a signal or never started.
    int wait();

    // Ends the child at once and waits for it.
    void kill();

private:
    long long id_ = -1;  // process id (Linux) or process handle (Windows)
    bool finished_ = true;
    int status_ = -1;
};

}  // namespace vrk::platform
