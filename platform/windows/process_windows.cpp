// Windows side of process.hpp.
#include "platform/process.hpp"

// NtCurrentTeb reads the thread information block through a segment
// register at a small fixed offset, which GCC's bounds check takes for an
// access through a null pointer.
#pragma GCC diagnostic ignored "-Warray-bounds"
#include <windows.h>

namespace vrk::platform {
namespace {
int gForcedLegacy = -1;  // -1: not forced
// A boot id forced by a test (set and read by one thread).
bool gBootForced = false;
std::string gForcedBoot;

// GetVersion: the top bit is set on the non-NT family; the low byte holds
// the major version.
constexpr DWORD kNonNtBit = 0x80000000u;
}  // namespace

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(GetCurrentThreadId()); }

bool isNtFamily() { return (GetVersion() & kNonNtBit) == 0; }

bool runsUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool isLegacyRegistryHost() {
    if (gForcedLegacy >= 0) return gForcedLegacy == 1;
    const DWORD version = GetVersion();
    return (version & kNonNtBit) != 0 && LOBYTE(LOWORD(version)) < 4;
}
void forceLegacyRegistryHost(bool legacy) { gForcedLegacy = legacy ? 1 : 0; }
void clearForcedLegacyRegistryHost() { gForcedLegacy = -1; }

// Nothing here keeps volatile keys across a restart (the Windows registry
// forgets them itself), so no boot id is needed.
std::string bootId() { return gBootForced ? gForcedBoot : std::string(); }
void forceBootId(const std::string& id) {
    gForcedBoot = id;
    gBootForced = true;
}
void clearForcedBootId() {
    gForcedBoot.clear();
    gBootForced = false;
}

void ignoreFileSizeSignal() {}

std::uint32_t lastError() { return static_cast<std::uint32_t>(GetLastError()); }
void setLastError(std::uint32_t error) { SetLastError(static_cast<DWORD>(error)); }

std::uint32_t stackFigure(const void* localAddress) {
    // The thread information block names the top (base) of the thread's
    // stack, which grows downwards from there, and its committed bottom.
    const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
    const auto top = reinterpret_cast<std::uintptr_t>(tib->StackBase);
    const auto bottom = reinterpret_cast<std::uintptr_t>(tib->StackLimit);
    const auto here = reinterpret_cast<std::uintptr_t>(localAddress);
    return here >= bottom && here < top ? static_cast<std::uint32_t>(top - here) : 0;
}

std::string traceFileName(const std::string& configuredName) {
    std::string name = configuredName;
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

}  // namespace vrk::platform
