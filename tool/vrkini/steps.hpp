// The maintenance steps of vrkini: locating the suite's profile, deleting the
// profile's file, the option-value update, the directory validation and the
// removal of the sample queries. main() runs them in a fixed order.
//
// Every step catches its own failures and reports them as trace lines; none
// lets an exception escape, except profile(), whose callers catch it.
//
// Thread safety: none needed; the tool is single-threaded. Each step opens
// and releases its own profile handle.
#pragma once

#include "base/istring.hpp"
#include "profile/iprofile.hpp"

// The handle on the suite's profile "SV.INI" below the local-machine
// profile. Raises IInvalidRequest (assertion "svINIExists==True") when that
// application does not exist; the profile is then neither opened nor created.
// The caller owns the returned handle.
IProfile profile();

// Removes the file named like the profile ("SV.INI") from the working
// directory. Silent when the profile does not exist; writes "Could not
// remove file!" to the trace when the removal fails. Never throws.
void deleteProfile();

// Sets the entry key of application to newValue unless it already holds
// exactly that value, and reports the outcome on standard output and in the
// trace. Returns 1 when the entry was written, 0 otherwise. Never throws.
int addOrReplace(const IString& application, const IString& key, const IString& newValue);

// The change test: 1 when the entry must be written (the values differ, or
// both are empty and the entry is absent), 0 when it is to be left alone.
// Never throws.
int needsReplacement(const IProfile& profile, const IString& application, const IString& key,
                     const IString& oldValue, const IString& newValue);

// Checks that the first line of the directory list in key of application
// names an existing directory; when it does not, puts two "." lines in front
// of the list, writes it back and reports the change on standard output.
// Returns 1 when the entry was written, 0 otherwise. Never throws.
int validateDirectory(const IString& application, const IString& key);

// Deletes from the application "SQLQueryFolder" every query whose file is
// one of the suite's sample query files below installDirectory, and then the
// marker entry "AddedSQLQuerySamples" of "Miscellaneous" when any query was
// deleted. Reports to the trace only. Always returns 0. Never throws.
// directoryIsExact false says that installDirectory is not the directory
// that was given: characters of it were lost on the way in (see
// vrk::platform::commandLineArgumentIsExact). No query then matches, so that
// another directory that reads the same is left alone, and the trace says
// why.
int removeCannedQueries(const IString& installDirectory, bool directoryIsExact = true);

// For the update steps' read guards: rethrows the exception being handled
// when it says the store could not be read (an access error for a store that
// refused the read, ran out of memory, is corrupt or failed to read), so that a transient failure is never
// taken for an absent entry and the entry overwritten from nothing. Returns
// for everything else. Call only inside a catch block.
void rethrowStoreFailure();

// The common end of the two update steps: when needsReplacement answers 1,
// writes newValue to the entry, traces it, sets result to 1 and reports the
// change on standard output; otherwise reports the entry with the line
// unchangedVerdict. Raises what the write or the report raises (the caller's
// guard turns it into its trace line); result keeps 1 once the write is done.
void replaceAndReport(IProfile& profile, const IString& application, const IString& key,
                      const IString& oldValue, const IString& newValue,
                      const char* unchangedVerdict, int& result);
