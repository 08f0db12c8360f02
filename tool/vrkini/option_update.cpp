// addOrReplace(): sets one entry to a fixed value; needsReplacement(): the
// change test and rethrowStoreFailure(): the read guard's test, both shared
// with the directory validation.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include "diag/iexc.hpp"
#include "diag/itrace.hpp"
#include "tool/vrkini/console_report.hpp"
#include "tool/vrkini/steps.hpp"

void rethrowStoreFailure() {
    try {
        throw;
    } catch (const IAccessError& e) {
        // The registry's error numbers of a store that cannot be read:
        // access denied, not enough memory, a corrupt store, an I/O failure.
        switch (e.errorId()) {
        case 5:
        case 8:
        case 1009:
        case 1016: throw;
        default: break;
        }
    } catch (...) {}
}

int needsReplacement(const IProfile& profile, const IString& application, const IString& key,
                     const IString& oldValue, const IString& newValue) {
    try {
        if (oldValue != newValue) return 1;
        if (oldValue.length() > 0) return 0;
        // Both empty: write only when the entry does not exist yet.
        try {
            (void)profile.elementWithKey(key, application);
            return 0;
        } catch (...) {
            return 1;
        }
    } catch (...) {
        return 0;
    }
}

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
