// What the option update and the directory check share: the read guard's
// test (rethrowStoreFailure), the change test (needsReplacement), and
// replaceAndReport(), which writes an entry when the change test asks for it
// and reports the outcome.
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

void replaceAndReport(IProfile& profile, const IString& application, const IString& key,
                      const IString& oldValue, const IString& newValue,
                      const char* unchangedVerdict, int& result) {
    if (needsReplacement(profile, application, key, oldValue, newValue) == 1) {
        profile.addOrReplaceElementWithKey(key, newValue, application);
        ITraceLog::write(entryLabel(application, key) + "newValue=" + newValue + " ");
        result = 1;
        reportChanged(application, key, oldValue, newValue);
    } else {
        reportUnchanged(application, key, unchangedVerdict);
    }
}
