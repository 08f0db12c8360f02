// Linux side of process.hpp.
#include "platform/process.hpp"

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <optional>

namespace vrk::platform {
namespace {
thread_local std::uint32_t tLastError = 0;
int gForcedLegacy = -1;  // -1: not forced
std::mutex gBootMutex;
std::optional<std::string> gForcedBoot;  // under gBootMutex
}  // namespace

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

bool isNtFamily() { return true; }

bool runsUnderWine() { return false; }

bool isLegacyRegistryHost() { return gForcedLegacy == 1; }
void forceLegacyRegistryHost(bool legacy) { gForcedLegacy = legacy ? 1 : 0; }
void clearForcedLegacyRegistryHost() { gForcedLegacy = -1; }

std::string bootId() {
    {
        std::lock_guard<std::mutex> lock(gBootMutex);
        if (gForcedBoot) return *gForcedBoot;
    }
    // The boot does not change while the process runs: read once.
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string line;
        if (!std::getline(in, line)) return std::string();
        while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
        return line;
    }();
    return id;
}
void forceBootId(const std::string& id) {
    std::lock_guard<std::mutex> lock(gBootMutex);
    gForcedBoot = id;
}
void clearForcedBootId() {
    std::lock_guard<std::mutex> lock(gBootMutex);
    gForcedBoot.reset();
}

void ignoreFileSizeSignal() {
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_DFL)
        ::signal(SIGXFSZ, SIG_IGN);
}

std::uint32_t lastError() { return tLastError; }
void setLastError(std::uint32_t error) { tLastError = error; }

std::uint32_t stackFigure(const void* localAddress) {
    // The stack grows downwards from the top of the thread's stack area.
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
    void* low = nullptr;
    size_t size = 0;
    int rc = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (rc != 0) return 0;
    auto top = reinterpret_cast<std::uintptr_t>(low) + size;
    auto here = reinterpret_cast<std::uintptr_t>(localAddress);
    return here < top ? static_cast<std::uint32_t>(top - here) : 0;
}

std::string traceFileName(const std::string& configuredName) { return configuredName; }

}  // namespace vrk::platform
