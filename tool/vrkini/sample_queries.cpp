// removeCannedQueries(): removes the suite's sample queries from the
// profile's query folder, and then the marker that says they were added.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include <vector>

#include "diag/itrace.hpp"
#include "tool/vrkini/sample_table.hpp"
#include "tool/vrkini/steps.hpp"

namespace {
const char* const queryFolder = "SQLQueryFolder";
const char* const markerApplication = "Miscellaneous";
const char* const markerKey = "AddedSQLQuerySamples";
}  // namespace

int removeCannedQueries(const IString& installDirectory, bool directoryIsExact) {
    ITraceLog trace("removeCannedQueries(const IString&)", 124);
    try {
        // Each sample's full path, upper-cased, up to the end marker: the same
        // for every entry, so made once. A directory that is not the one
        // given has no samples.
        std::vector<IString> candidates;
        candidates.reserve(sampleQueryCount + 1);
        const IString endMarker(sampleQueryEndMarker);
        if (directoryIsExact) {
            for (const char* file : sampleQueryFiles) {
                const IString sample(file);
                if (sample == endMarker) break;
                IString candidate = installDirectory + sample;
                candidate.makeUpperCase();
                candidates.push_back(candidate);
            }
        } else {
            ITraceLog::write(IString("The installation directory was given with characters that "
                                     "this system's code page lacks, so no query matches it: ") +
                             "installDirectory=" + installDirectory + " ");
        }
        IProfile prof = profile();
        // The cursor lists the keys once, so deleting entries during the
        // walk neither skips nor repeats any of them.
        IProfile::Cursor cursor(prof, queryFolder);
        bool deletedAny = false;
        for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext()) {
            const IString queryName = prof.applicationOrKeyAt(cursor);
            IString queryFile = prof.elementWithKey(queryName, queryFolder);
            bool found = false;
            if (!candidates.empty()) queryFile.makeUpperCase();
            for (const IString& candidate : candidates) {
                if (candidate == queryFile) {
                    if (ITraceLog::isEnabled()) {  // the text is built only to be written
                        ITraceLog::write(IString("Found a query that should be deleted: ") +
                                         "queryName=" + queryName + " " + "queryFile=" + queryFile +
                                         " ");
                    }
                    found = true;
                    break;
                }
            }
            if (found) {
                deletedAny = true;
                prof.deleteElementWithKey(queryName, queryFolder);
            } else if (ITraceLog::isEnabled()) {
                ITraceLog::write(IString("The following query should NOT be deleted: ") +
                                 "queryName=" + queryName + " " + "queryFile=" + queryFile + " ");
            }
        }
        if (deletedAny && prof.containsKey(markerKey, markerApplication)) {
            ITraceLog::write("Need to delete ticky mark");
            prof.deleteElementWithKey(markerKey, markerApplication);
        } else {
            ITraceLog::write("No need to delete ticky mark");
        }
    } catch (...) {
        ITraceLog::write("No Selvarine profile was found");
    }
    return 0;
}
