// replaceAndReport(): writes an entry when the change test asks for it, and
// reports the outcome; shared by the option update and the directory check.
#include "diag/itrace.hpp"
#include "tool/vrkini/console_report.hpp"
#include "tool/vrkini/steps.hpp"

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
