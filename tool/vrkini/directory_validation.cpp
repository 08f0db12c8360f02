// validateDirectory(): repairs a directory list whose current directory
// (its first line) no longer exists.
#include "diag/itrace.hpp"
#include "tool/vrkini/console_report.hpp"
#include "tool/vrkini/directory_status.hpp"
#include "tool/vrkini/steps.hpp"

namespace {
// Two lines holding "." (the working directory), put in front of a list
// whose current directory is gone.
const char* const repairPrefix = ".\n.\n";
}  // namespace

int validateDirectory(const IString& application, const IString& key) {
    int result = 0;
    try {
        IProfile prof = profile();
        IString oldValue;
        IString currentDir;
        IString newValue(repairPrefix);
        try {
            oldValue = IString(static_cast<const char*>(prof.elementWithKey(key, application)));
            ITraceLog::write(IString("The directory list in the profile is: ") +
                             "oldOptions=" + oldValue + " ");
            // Without a line feed the length wraps to the largest unsigned
            // value and the section raises its overflow error: such a value
            // is treated like an absent entry, with the old value kept.
            const unsigned lineFeed = oldValue.positionOf('\n', 1);
            currentDir = oldValue.section(1, lineFeed - 1, ' ');
            ITraceLog::write(IString("The current directory in the profile is: ") +
                             "currentDir=" + currentDir + " ");
        } catch (...) {
            rethrowStoreFailure();
            ITraceLog::write(
                IString("The Selvarine profile doesn't contain the requested app/key ") +
                entryLabel(application, key));
        }
        if (isExistingDirectory(currentDir))
            newValue = oldValue;
        else
            newValue = IString(repairPrefix) + oldValue;
        replaceAndReport(prof, application, key, oldValue, newValue,
                         "already has a valid directory.", result);
    } catch (...) {
        ITraceLog::write("No Selvarine profile was found");
    }
    return result;
}
