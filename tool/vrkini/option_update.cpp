// addOrReplace(): sets one entry to a fixed value.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include "diag/itrace.hpp"
#include "tool/vrkini/console_report.hpp"
#include "tool/vrkini/steps.hpp"

int addOrReplace(const IString& application, const IString& key, const IString& newValue) {
    ITraceLog trace("addOrReplace(const IString&,const IString&,const IString&)", 92);
    int result = 0;
    try {
        IProfile prof = profile();
        IString oldValue;
        try {
            oldValue = IString(static_cast<const char*>(prof.elementWithKey(key, application)));
            ITraceLog::write(IString("The options in the profile are: ") +
                             "oldOptions=" + oldValue + " ");
        } catch (...) {
            rethrowStoreFailure();
            ITraceLog::write(
                IString("The Selvarine profile doesn't contain the requested app/key ") +
                entryLabel(application, key));
        }
        replaceAndReport(prof, application, key, oldValue, newValue,
                         "already has the correct value.", result);
    } catch (...) {
        ITraceLog::write("No Selvarine profile was found");
    }
    return result;
}
