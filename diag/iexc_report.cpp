// IExceptionReporter: the report of an exception, line by line, and the
// console fallback used when no work buffer can be had.
#include "diag/iexc.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/process.hpp"

namespace {

std::atomic<bool> reportBufferUnavailable{false};

// The console stream of reports: standard error on the NT family (and
// Linux), standard output elsewhere.
std::FILE* consoleStream() { return vrk::platform::isNtFamily() ? stderr : stdout; }

// Report texts never pass a null pointer to "%s".
const char* orUnknown(const char* text) { return text != nullptr ? text : "Unknown"; }

const char kHeaderFormat[] = "%s exception thrown.\n   function: %s\n   file: %s\n   line: %d";
const char kNoLocationFormat[] = "\n%s exception thrown.\n   Location information is unavailable.";
const char kErrorIdFormat[] = "   Error Id is %d";
const char kNoErrorId[] = "   Error Id is unavailable.";
const char kGroupFormat[] = "   Error Code group is %s";
const char kNoGroup[] = "    Error Code group is unavailable.";
const char kTextHeading[] = "   Exception text is:";
const char kTextFormat[] = "      %s";
const char kNoText[] = "   Exception text is unavailable.";

void fallbackReport(const IException& exception) {
    std::FILE* out = consoleStream();
    unsigned locations = exception.numberOfLocations();
    if (locations > 0) {
        const ISourceLocation* at = exception.locationWithIndex(locations - 1);
        std::fprintf(out, "%s exception thrown.\n   function: %s\n   file: %s\n   line: %d.\n",
                     exception.name(), orUnknown(at->functionName()), orUnknown(at->fileName()),
                     static_cast<int>(at->lineNumber()));
    } else {
        std::fprintf(out, "\n%s exception thrown.\n   Location information is unavailable.\n",
                     exception.name());
    }
    if (exception.errorId() != 0) {
        std::fprintf(out, "   Error ID is %d\n", static_cast<int>(exception.errorId()));
    } else {
        std::fprintf(out, "   Error ID is unavailable.\n");
    }
    if (exception.errorCodeGroup() != nullptr) {
        std::fprintf(out, " Error Code group is %s\n", exception.errorCodeGroup());
    } else {
        std::fprintf(out, "   Error Code group is unavailable.\n");
    }
    unsigned texts = exception.numberOfTexts();
    if (texts > 0) {
        std::fprintf(out, "   Exception text is:\n");
        for (unsigned i = texts; i-- > 0;)
            std::fprintf(out, "      %s\n", exception.textWithIndex(i));
    } else {
        std::fprintf(out, "   Exception text is unavailable.\n");
    }
}

// The size of the longest line of the report, its terminating NUL included.
std::size_t longestLine(const IException& exception) {
    std::size_t longest = sizeof kNoGroup;
    auto fit = [&longest](int length) {
        if (length >= 0 && static_cast<std::size_t>(length) + 1 > longest) longest = length + 1;
    };
    unsigned locations = exception.numberOfLocations();
    if (locations > 0) {
        const ISourceLocation* at = exception.locationWithIndex(locations - 1);
        fit(std::snprintf(nullptr, 0, kHeaderFormat, exception.name(),
                          orUnknown(at->functionName()), orUnknown(at->fileName()),
                          static_cast<int>(at->lineNumber())));
    } else {
        fit(std::snprintf(nullptr, 0, kNoLocationFormat, exception.name()));
    }
    fit(std::snprintf(nullptr, 0, kErrorIdFormat, static_cast<int>(exception.errorId())));
    if (exception.errorCodeGroup() != nullptr) {
        fit(std::snprintf(nullptr, 0, kGroupFormat, exception.errorCodeGroup()));
    }
    for (unsigned i = 0; i < exception.numberOfTexts(); ++i) {
        fit(std::snprintf(nullptr, 0, kTextFormat, exception.textWithIndex(i)));
    }
    return longest;
}

}  // namespace

namespace vrk::diag {

void setReportBufferUnavailable(bool unavailable) { reportBufferUnavailable = unavailable; }

}  // namespace vrk::diag

IExceptionReporter::~IExceptionReporter() = default;

void IExceptionReporter::writeLine(const char* text) {
    std::fprintf(consoleStream(), "%s\n", text);
}

void IExceptionReporter::afterReport() {}

void IExceptionReporter::reportException(const IException& exception) {
    std::size_t size = longestLine(exception);
    std::unique_ptr<char, void (*)(void*)> buffer(
        reportBufferUnavailable ? nullptr : static_cast<char*>(std::malloc(size)), std::free);
    char* line = buffer.get();
    if (line == nullptr) {
        fallbackReport(exception);
        return;
    }
    IExceptionReporter& out = IException::reporter();

    unsigned locations = exception.numberOfLocations();
    if (locations > 0) {
        const ISourceLocation* at = exception.locationWithIndex(locations - 1);
        std::snprintf(line, size, kHeaderFormat, exception.name(), orUnknown(at->functionName()),
                      orUnknown(at->fileName()), static_cast<int>(at->lineNumber()));
    } else {
        std::snprintf(line, size, kNoLocationFormat, exception.name());
    }
    out.writeLine(line);

    if (exception.errorId() != 0) {
        std::snprintf(line, size, kErrorIdFormat, static_cast<int>(exception.errorId()));
        out.writeLine(line);
    } else {
        out.writeLine(kNoErrorId);
    }

    if (exception.errorCodeGroup() != nullptr) {
        std::snprintf(line, size, kGroupFormat, exception.errorCodeGroup());
        out.writeLine(line);
    } else {
        out.writeLine(kNoGroup);
    }

    unsigned texts = exception.numberOfTexts();
    if (texts > 0) {
        out.writeLine(kTextHeading);
        for (unsigned i = texts; i-- > 0;) {
            std::snprintf(line, size, kTextFormat, exception.textWithIndex(i));
            out.writeLine(line);
        }
    } else {
        out.writeLine(kNoText);
    }

    buffer.reset();
    afterReport();
}
