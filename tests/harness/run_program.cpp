// Child process runner for the end-to-end tests (POSIX).
#include "tests/harness/run_program.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace vrk::test {

namespace {

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& added) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "TORQA", 5) == 0) continue;
        env.emplace_back(*e);
    }
    for (const auto& [name, value] : added) env.push_back(name + "=" + value);
    return env;
}

}  // namespace

ProgramRun runProgram(const std::string& program, const ProgramOptions& options,
                      const std::string& scratchDirectory) {
    ProgramRun run;
    const std::string outPath = scratchDirectory + "/run.stdout";
    const std::string errPath = scratchDirectory + "/run.stderr";

    std::vector<std::string> args{program};
    args.insert(args.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = childEnvironment(options.environment);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork failed: " << std::strerror(errno);
        return run;
    }
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0)
            _exit(126);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    run.processId = pid;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE() << "waitpid failed: " << std::strerror(errno);
            return run;
        }
    }
    if (WIFEXITED(status))
        run.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.exitStatus = 128 + WTERMSIG(status);
    run.standardOutput = readWholeFile(outPath);
    run.standardError = readWholeFile(errPath);
    if (run.exitStatus == 126 || run.exitStatus == 127)
        ADD_FAILURE() << "could not start " << program << " (status " << run.exitStatus << ")";
    return run;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace vrk::test
