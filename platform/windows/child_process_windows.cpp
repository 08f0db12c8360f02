// Windows side of child_process.hpp: CreateProcessA with inherited file
// handles.
#include "platform/child_process.hpp"

#include <windows.h>

namespace vrk::platform {

namespace {

// A command-line word as the runtime start-up splits it again: quoted when
// it holds a blank, a tab or a quote, with backslashes before a quote
// doubled.
std::string quoted(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
    std::string result = "\"";
    std::size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') backslashes = backslashes * 2 + 1;
        result.append(backslashes, '\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, '\\');
    result += '"';
    return result;
}

HANDLE openForChild(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string programFile(const std::string& directory, const std::string& name) {
    std::string file = directory;
    file.append("\\").append(name).append(".exe");
    return file;
}

std::string runningProgramDirectory() {
    char exe[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe) return "";
    const std::string path(exe, n);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

ChildProcess::~ChildProcess() { kill(); }

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& outputPath, const std::string& errorPath) {
    kill();
    std::string commandLine = quoted(program);
    for (const std::string& a : arguments) commandLine.append(" ").append(quoted(a));
    HANDLE out = openForChild(outputPath, true);
    HANDLE err = openForChild(errorPath, true);
    HANDLE in = openForChild("NUL", false);
    bool started = false;
    PROCESS_INFORMATION info{};
    if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &info) != 0;
    }
    for (HANDLE h : {out, err, in})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!started) return false;
    CloseHandle(info.hThread);
    id_ = reinterpret_cast<long long>(info.hProcess);
    finished_ = false;
    return true;
}

int ChildProcess::wait() {
    if (finished_) return status_;
    HANDLE process = reinterpret_cast<HANDLE>(id_);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    status_ = GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
    CloseHandle(process);
    finished_ = true;
    return status_;
}

void ChildProcess::kill() {
    if (finished_) return;
    TerminateProcess(reinterpret_cast<HANDLE>(id_), 1);
    wait();
    status_ = -1;
}

}  // namespace vrk::platform
