// The trace line writer: thread slots, nesting levels, the prefix and the
// hand-over to the destination.
#include <cstdio>
#include <cstring>

#include "diag/itrace.hpp"
#include "diag/itrace_internal.hpp"
#include "platform/process.hpp"

namespace vrk::tracing {

TraceState gTrace;

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

unsigned slotOfCurrentThread() {
    const std::uint32_t thread = platform::currentThreadId();
    const unsigned home = thread % kSlotCount;
    for (unsigned probe = 0; probe < kSlotCount; ++probe) {
        const unsigned slot = (home + probe) % kSlotCount;
        std::uint32_t holder = gTrace.slotThread[slot].load(kRelaxed);
        if (holder == thread) return slot;
        if (holder == 0 &&
            (gTrace.slotThread[slot].compare_exchange_strong(holder, thread, kRelaxed) ||
             holder == thread))
            return slot;
    }
    // Every slot belongs to another thread: share the home slot.
    return home;
}

void writeLine(const char* marker, const char* text, std::size_t length) {
    const unsigned slot = slotOfCurrentThread();
    const std::uint32_t processId = platform::currentProcessId();
    gTrace.processId.store(processId, kRelaxed);
    const std::uint32_t sequence = gTrace.sequenceNumber.fetch_add(1, kRelaxed);

    if (marker[0] == '-') {
        unsigned level = gTrace.level[slot].load(kRelaxed);
        if (level >= 2) gTrace.level[slot].store(level - 2, kRelaxed);
    }

    std::string lead;
    if (gTrace.prefixShown.load(kRelaxed)) {
        // Numbers wider than their field keep only their last digits.
        char prefix[64];
        std::snprintf(prefix, sizeof prefix, "%08u %06u:%02u ",
                      static_cast<unsigned>(sequence % 100000000u),
                      static_cast<unsigned>(processId % 1000000u), slot % 100u);
        lead = prefix;
        if (gTrace.stackCheck.load(kRelaxed)) {
            int local = 0;
            const std::uint32_t figure = platform::stackFigure(&local);
            std::snprintf(prefix, sizeof prefix, " %07u ",
                          static_cast<unsigned>(figure % 10000000u));
            lead += prefix;
        }
    }
    lead.append(gTrace.level[slot].load(kRelaxed), ' ');
    lead += marker;

    // The text ends at its first zero byte; the line still gets its line feed.
    if (const void* zero = std::memchr(text, '\0', length))
        length = static_cast<std::size_t>(static_cast<const char*>(zero) - text);

    std::string line = lead;
    line.reserve(lead.size() + length + 1);
    for (std::size_t i = 0; i < length; ++i) {
        line += text[i];
        if (text[i] == '\n') line += lead;
    }
    line += '\n';

    switch (static_cast<ITraceLog::Destination>(gTrace.destination.load(kRelaxed))) {
    case ITraceLog::standardOutput: writeToStandardOutput(line); break;
    case ITraceLog::standardError: writeToStandardError(line); break;
    case ITraceLog::file: writeToFile(line); break;
    case ITraceLog::queue:
    default: writeToQueue(line); break;
    }

    if (marker[0] == '+') gTrace.level[slot].fetch_add(2, kRelaxed);
}

void setSequenceNumber(std::uint32_t number) { gTrace.sequenceNumber.store(number, kRelaxed); }
std::uint32_t sequenceNumber() { return gTrace.sequenceNumber.load(kRelaxed); }
void setLevel(unsigned slot, unsigned level) {
    gTrace.level[slot % kSlotCount].store(level, kRelaxed);
}
unsigned level(unsigned slot) { return gTrace.level[slot % kSlotCount].load(kRelaxed); }
void occupySlot(unsigned slot, std::uint32_t threadId) {
    gTrace.slotThread[slot % kSlotCount].store(threadId, kRelaxed);
}

}  // namespace vrk::tracing
