// The queue destination of the trace: per-thread message buffers that turn
// trace lines into debug-monitor messages ("TORQA: " + text + zero byte).
#include <algorithm>
#include <cstring>
#include <new>

#include "diag/itrace_internal.hpp"
#include "platform/debug_channel.hpp"
#include "platform/process.hpp"

namespace vrk::tracing {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr char kMessagePrefix[] = "TORQA: ";
constexpr unsigned kTabWidth = 5;

// One thread's message in the making. Columns count from the start of text;
// column 7 is the first one after "TORQA: ".
struct MessageBuffer {
    unsigned cursor;
    unsigned highest;  // highest column written; 6 when nothing follows the prefix
    char text[kQueueTextArea];

    void makeFresh() {
        std::memcpy(text, kMessagePrefix, kQueueFirstColumn);
        cursor = kQueueFirstColumn;
        highest = kQueueFirstColumn - 1;
    }

    // Sends columns 0 to highest and a zero byte; fresh again on success.
    bool send() {
        text[highest + 1] = '\0';
        if (!platform::sendDebugMessage(text, highest + 2)) return false;
        makeFresh();
        return true;
    }

    void store(char c) {
        text[cursor] = c;
        highest = std::max(highest, cursor);
        ++cursor;
    }

    void tab() {
        const unsigned stop =
            kQueueFirstColumn + ((cursor - kQueueFirstColumn) / kTabWidth + 1) * kTabWidth;
        const unsigned target = std::min(stop, kQueueFullColumn);
        for (unsigned column = std::max(cursor, highest + 1); column < target; ++column)
            text[column] = ' ';
        if (target > 0) highest = std::max(highest, target - 1);
        cursor = target;
    }

    bool isFull() const { return cursor >= kQueueFullColumn; }
};

std::atomic<std::uint32_t> gQueueThread[kQueueEntryCount] = {};
std::atomic<MessageBuffer*> gQueueBuffer[kQueueEntryCount] = {};

// The calling thread's entry, claimed on first use; -1 when all are taken.
int queueEntryOfCurrentThread() {
    const std::uint32_t thread = platform::currentThreadId();
    const unsigned home = thread % kQueueEntryCount;
    for (unsigned probe = 0; probe < kQueueEntryCount; ++probe) {
        const unsigned entry = (home + probe) % kQueueEntryCount;
        std::uint32_t holder = gQueueThread[entry].load(kRelaxed);
        if (holder == thread) return static_cast<int>(entry);
        if (holder == 0 && (gQueueThread[entry].compare_exchange_strong(holder, thread, kRelaxed) ||
                            holder == thread))
            return static_cast<int>(entry);
    }
    return -1;
}

}  // namespace

void writeToQueue(const std::string& line) {
    if (!platform::openDebugChannel()) return;  // no monitor: drop; the next line tries again
    const int entry = queueEntryOfCurrentThread();
    if (entry < 0) return;
    MessageBuffer* buffer = gQueueBuffer[entry].load(std::memory_order_acquire);
    if (buffer == nullptr) {
        buffer = new (std::nothrow) MessageBuffer;
        if (buffer == nullptr) return;
        buffer->makeFresh();
        gQueueBuffer[entry].store(buffer, std::memory_order_release);
    }

    const std::size_t length = std::min(line.size(), kQueueLineCut);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = line[i];
        switch (c) {
        case '\n':
        case '\f':
            if (!buffer->send()) return;
            continue;
        case '\r': buffer->cursor = kQueueFirstColumn; continue;
        case '\b':
            if (buffer->cursor > kQueueFirstColumn) --buffer->cursor;
            continue;
        case '\a':
        case '\v': continue;
        default: break;
        }
        // A buffer left full by a failed send goes out before it takes more.
        if (buffer->isFull() && !buffer->send()) return;
        if (c == '\t')
            buffer->tab();
        else
            buffer->store(c);
        if (buffer->isFull() && !buffer->send()) return;
    }
}

void occupyQueueEntry(unsigned entry, std::uint32_t threadId) {
    gQueueThread[entry % kQueueEntryCount].store(threadId, kRelaxed);
}

}  // namespace vrk::tracing
