// vrktrace: the debug monitor. Takes the debug-monitor channel and prints
// every trace message that arrives, one line each, without the "TORQA: "
// in front and the zero byte at the end, until it is asked to stop (Ctrl-C,
// or SIGTERM on Linux). Any local process can send to the channel, so on a
// terminal the control bytes of a message are shown as text (\x1B) instead
// of reaching the terminal.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/binary_stdout.hpp"
#include "platform/debug_channel.hpp"
#include "platform/stop_request.hpp"

namespace {

void printUsage(std::FILE* stream) {
    std::fprintf(stream,
                 "Usage: vrktrace [--address ADDRESS] [--escape | --raw]\n"
                 "Shows the trace lines that programs send to the debug monitor, one line\n"
                 "per message, until interrupted (Ctrl-C) or terminated.\n"
                 "\n"
                 "Any local program may send to the monitor. When standard output is a\n"
                 "terminal, control bytes (0x00 to 0x1F but tab, 0x7F, the C1 controls\n"
                 "U+0080 to U+009F) and bytes that are not UTF-8 are shown as \\xHH, so that\n"
                 "no sender can drive the terminal. Other output (a file, a pipe) gets the\n"
                 "bytes exactly as they were sent.\n"
                 "\n"
                 "Trace a program to the monitor with TORQA_TRACE=ON (the queue is the\n"
                 "default destination) or TORQA_TRACETO=QUEUE.\n"
                 "\n"
                 "Options:\n"
                 "  -a, --address ADDRESS  take another channel address (default %s):\n"
                 "                         %s\n"
                 "  -e, --escape           show control bytes as \\xHH on any output\n"
                 "  -r, --raw              write the bytes as sent, even to a terminal\n"
                 "  -h, --help             show this help and exit\n"
                 "      --version          show the version and exit\n",
                 vrk::platform::defaultDebugChannelAddress(),
                 vrk::platform::debugChannelAddressForms());
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

// The length of the well-formed UTF-8 sequence at text[at] (2 to 4 bytes)
// and its code point; 0 when the bytes there are not one.
std::size_t utf8SequenceAt(const std::string& text, std::size_t at, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char c = byte(at + i);
        if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
        codePoint = codePoint << 6 | (c & 0x3F);
    }
    return length;
}

// The text with every byte that could drive a terminal written as \xHH:
// C0 controls but tab, DEL, the C1 controls in their UTF-8 form, and every
// byte that is not part of well-formed UTF-8 (a lone 0x9B is CSI to a
// terminal that reads Latin-1).
std::string visibleText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&shown](unsigned char c) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        shown += hex;
    };
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                escape(c);
            else
                shown += static_cast<char>(c);
            ++at;
            continue;
        }
        std::uint32_t codePoint = 0;
        const std::size_t length = utf8SequenceAt(text, at, codePoint);
        if (length == 0) {
            escape(c);
            ++at;
            continue;
        }
        if (codePoint <= 0x9F) {
            for (std::size_t i = 0; i < length; ++i)
                escape(static_cast<unsigned char>(text[at + i]));
        } else {
            shown.append(text, at, length);
        }
        at += length;
    }
    return shown;
}

}  // namespace

int main(int argc, char** argv) {
    vrk::platform::setStdoutBinary();  // the same bytes on every platform
    std::string address = vrk::platform::defaultDebugChannelAddress();
    bool escape = vrk::platform::stdoutIsTerminal();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            printUsage(stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("vrktrace %s\n", VRK_VERSION);
            return 0;
        }
        if (argument == "-e" || argument == "--escape") {
            escape = true;
            continue;
        }
        if (argument == "-r" || argument == "--raw") {
            escape = false;
            continue;
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
            const std::string text =
                escape ? visibleText(messageText(message)) : messageText(message);
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
            break;
        }
        case vrk::platform::DebugMonitorChannel::Receive::timeout:
        case vrk::platform::DebugMonitorChannel::Receive::interrupted: break;
        case vrk::platform::DebugMonitorChannel::Receive::failed:
            std::fprintf(stderr, "vrktrace: receiving failed: %s\n", std::strerror(errno));
            return 1;
        }
    }
    channel.close();
    return 0;
}
