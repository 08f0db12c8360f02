// vrktrace: the debug monitor. Takes the debug-monitor channel and prints
// every trace message that arrives, one line each, without the "TORQA: "
// in front and the zero byte at the end, until it is asked to stop (Ctrl-C,
// or SIGTERM on Linux).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/binary_stdout.hpp"
#include "platform/debug_channel.hpp"
#include "platform/stop_request.hpp"

namespace {

void printUsage(std::FILE* stream) {
    std::fprintf(stream,
                 "Usage: vrktrace [--address ADDRESS]\n"
                 "Shows the trace lines that programs send to the debug monitor, one line\n"
                 "per message, until interrupted (Ctrl-C) or terminated.\n"
                 "\n"
                 "Trace a program to the monitor with TORQA_TRACE=ON (the queue is the\n"
                 "default destination) or TORQA_TRACETO=QUEUE.\n"
                 "\n"
                 "Options:\n"
                 "  -a, --address ADDRESS  take another channel address (default %s):\n"
                 "                         %s\n"
                 "  -h, --help             show this help and exit\n",
                 vrk::platform::defaultDebugChannelAddress(), vrk::platform::debugChannelAddressForms());
}

// The text of one message: what follows "TORQA: ", up to the first zero byte.
std::string messageText(const std::string& message) {
    static const char kPrefix[] = "TORQA: ";
    const std::size_t prefixLength = sizeof kPrefix - 1;
    std::size_t start = message.compare(0, prefixLength, kPrefix) == 0 ? prefixLength : 0;
    std::size_t end = message.find('\0', start);
    if (end == std::string::npos) end = message.size();
    return message.substr(start, end - start);
}

}  // namespace

int main(int argc, char** argv) {
    vrk::platform::setStdoutBinary();  // the same bytes on every platform
    std::string address = vrk::platform::defaultDebugChannelAddress();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            printUsage(stdout);
            return 0;
        }
        if (argument == "-a" || argument == "--address") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vrktrace: %s needs an address\n", argument.c_str());
                printUsage(stderr);
                return 2;
            }
            address = argv[++i];
        } else if (argument.rfind("--address=", 0) == 0) {
            address = argument.substr(std::strlen("--address="));
        } else {
            std::fprintf(stderr, "vrktrace: unknown argument \"%s\"\n", argument.c_str());
            printUsage(stderr);
            return 2;
        }
    }

    vrk::platform::installStopRequestHandlers();
    vrk::platform::DebugMonitorChannel channel;
    std::string error;
    if (!channel.bind(address, error)) {
        std::fprintf(stderr, "vrktrace: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "vrktrace: listening on %s\n", address.c_str());
    std::fflush(stderr);

    std::string message;
    while (!vrk::platform::stopRequested()) {
        switch (channel.receive(message, 250)) {
        case vrk::platform::DebugMonitorChannel::Receive::message: {
            const std::string text = messageText(message);
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
            break;
        }
        case vrk::platform::DebugMonitorChannel::Receive::timeout:
        case vrk::platform::DebugMonitorChannel::Receive::interrupted:
            break;
        case vrk::platform::DebugMonitorChannel::Receive::failed:
            std::fprintf(stderr, "vrktrace: receiving failed: %s\n", std::strerror(errno));
            return 1;
        }
    }
    channel.close();
    return 0;
}
