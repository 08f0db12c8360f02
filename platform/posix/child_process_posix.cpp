// Linux side of child_process.hpp: fork and exec.
#include "platform/child_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vrk::platform {

std::string programFile(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}

std::string runningProgramDirectory() {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    const std::string path(exe, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

ChildProcess::~ChildProcess() { kill(); }

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& outputPath, const std::string& errorPath) {
    kill();
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    // A pipe that closes on exec tells the parent whether exec succeeded.
    int report[2] = {-1, -1};
    const bool ready = out >= 0 && err >= 0 && in >= 0 && ::pipe2(report, O_CLOEXEC) == 0;
    std::vector<std::string> copies(arguments);
    std::vector<char*> argv;
    std::string path = program;
    argv.push_back(path.data());
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ready ? ::fork() : -1;
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(path.c_str(), argv.data());
        const int cause = errno;
        ssize_t ignored = ::write(report[1], &cause, sizeof cause);
        (void)ignored;
        _exit(127);
    }
    for (int fd : {out, err, in, report[1]})
        if (fd >= 0) ::close(fd);
    if (pid < 0) {
        if (report[0] >= 0) ::close(report[0]);
        return false;
    }
    int cause = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &cause, sizeof cause);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    id_ = pid;
    finished_ = false;
    if (got > 0) {
        wait();
        return false;
    }
    return true;
}

int ChildProcess::wait() {
    if (finished_) return status_;
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(static_cast<pid_t>(id_), &status, 0);
    } while (done < 0 && errno == EINTR);
    finished_ = true;
    status_ = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return status_;
}

void ChildProcess::kill() {
    if (finished_) return;
    ::kill(static_cast<pid_t>(id_), SIGKILL);
    wait();
}

}  // namespace vrk::platform
