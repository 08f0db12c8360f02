// Process, thread and host facts that differ between Windows and Linux.
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace vrk::platform {

// The operating system's id of the current process and of the calling thread.
std::uint32_t currentProcessId();
std::uint32_t currentThreadId();

// True on the NT family of Windows and on every other host (Linux): the
// console reports go to standard error there.
bool isNtFamily();

// True when the program runs under Wine instead of Windows (Wine's ntdll
// exports its version). Never on Linux. Tests use it where Wine's answers
// depart from Windows', for example in the wording of system error texts.
bool runsUnderWine();

// True on a non-NT Windows host older than version 4, whose registry offers
// only unnamed values. Never on Linux. Tests may force the answer.
bool isLegacyRegistryHost();
void forceLegacyRegistryHost(bool legacy);
void clearForcedLegacyRegistryHost();

// An id of the system's current boot: the same for every process until the
// machine restarts, another one after (Linux: the kernel's boot id,
// /proc/sys/kernel/random/boot_id). Empty where the boot cannot be told
// (that file unreadable; Windows, whose registry forgets volatile keys
// itself). Tests may force the answer, "" included.
std::string bootId();
void forceBootId(const std::string& id);
void clearForcedBootId();

// The calling thread's last-error value (GetLastError / SetLastError on
// Windows; a thread-local number on Linux).
std::uint32_t lastError();
void setLastError(std::uint32_t error);

// The calling thread's stack use in bytes, measured from the thread's stack
// base to the given address of a local variable of the caller.
std::uint32_t stackFigure(const void* localAddress);

// Makes a write beyond the process's file-size limit fail (EFBIG) instead of
// ending the process (SIGXFSZ), unless the program chose its own handling of
// that signal. Nothing on Windows, which has no such limit.
void ignoreFileSizeSignal();

// The name under which the trace's file destination opens the configured
// (already trimmed) file name. Windows upper-cases it, as file names there
// ignore case; Linux keeps the name as given.
std::string traceFileName(const std::string& configuredName);

}  // namespace vrk::platform
