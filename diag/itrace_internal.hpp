// Inner workings of ITraceLog shared by its source files and its tests: the
// process-wide trace state, the configuration, the line writer, the
// destinations and a few hooks that let tests set up the tables.
// Thread safety: as for ITraceLog; the hooks are for single-threaded tests.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "diag/itrace.hpp"

namespace vrk::tracing {

constexpr unsigned kSlotCount = 255;         // thread slots of the line writer
constexpr unsigned kQueueEntryCount = 55;    // thread entries of the queue writer
constexpr unsigned kQueueTextArea = 1032;    // bytes of a queue message buffer
constexpr unsigned kQueueFirstColumn = 7;    // first column after "TORQA: "
constexpr unsigned kQueueFullColumn = 1031;  // cursor column at which a buffer is full
constexpr std::size_t kQueueLineCut = 1024;  // characters of a line that reach the queue

// Whether tracing is on, and whether the configuration has run (the switch
// word gSwitch of itrace.hpp holds both).
inline bool enabled() { return (gSwitch.load(std::memory_order_relaxed) & kEnabled) != 0; }
inline bool configured() { return (gSwitch.load(std::memory_order_acquire) & kConfigured) != 0; }

// The rest of the process-wide state. Constant-initialised (all zero /
// false), so it is usable from static constructors of other files.
struct TraceState {
    std::atomic<bool> lineNumbersShown{false};
    std::atomic<bool> prefixShown{false};
    std::atomic<bool> stackCheck{false};
    std::atomic<int> destination{0};
    std::atomic<std::uint32_t> sequenceNumber{0};
    std::atomic<std::uint32_t> processId{0};
    std::atomic<std::uint32_t> slotThread[kSlotCount] = {};
    std::atomic<unsigned> level[kSlotCount] = {};
};
extern TraceState gTrace;

// Reads the environment once per process (later calls return at once).
void configure();

// Looks up a trace variable by the name with a blank ("TORQA TRACE"), then,
// only when that one is not set at all, by the name with an underscore.
// Returns false when neither is set.
bool lookupVariable(const char* nameWithBlank, std::string& value);

// Trims white space at both ends.
std::string trimmed(const std::string& text);
// Upper-cases the letters a to z.
std::string upperCased(const std::string& text);

// Writes one line with the marker ("+", "-" or ">") to the destination.
// The text ends at its first zero byte or after length bytes. Called only
// while tracing is enabled.
void writeLine(const char* marker, const char* text, std::size_t length);

// The calling thread's slot in the slot table (claimed on first use).
unsigned slotOfCurrentThread();

// The destinations. Each takes a whole line, line feed included.
void writeToStandardOutput(const std::string& line);
void writeToStandardError(const std::string& line);
void writeToFile(const std::string& line);
void writeToQueue(const std::string& line);

// Test hooks.
void setSequenceNumber(std::uint32_t number);
std::uint32_t sequenceNumber();
void setLevel(unsigned slot, unsigned level);
unsigned level(unsigned slot);
void occupySlot(unsigned slot, std::uint32_t threadId);
void occupyQueueEntry(unsigned entry, std::uint32_t threadId);

}  // namespace vrk::tracing
