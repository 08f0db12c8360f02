// profile(): finds the suite's profile; deleteProfile(): the -DELETE action.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include <cstdio>

#include "diag/iexc.hpp"
#include "diag/itrace.hpp"
#include "platform/file_removal.hpp"
#include "tool/vrkini/steps.hpp"

namespace {
const char* const profileName = "SV.INI";
}

IProfile profile() {
    ITraceLog trace("profile()", 34);
    bool svINIExists = false;
    {
        // Test before opening: opening a profile by name would create it.
        IProfile machine = IProfile::localMachineProfile();
        svINIExists = machine.containsApplication(profileName);
    }
    if (!svINIExists) assertState("svINIExists==True", ISourceLocation("vrkini", "profile()", 54));
    return IProfile(profileName);
}

void deleteProfile() {
    ITraceLog trace("deleteProfile()", 60);
    try {
        IString name;
        {
            IProfile prof = profile();
            name = prof.name();
        }
        ITraceLog::write(IString("About to remove file::") + "name=" + name + " ");
        if (!vrk::platform::removePlainFile(name)) ITraceLog::write("Could not remove file!");
    } catch (...) {
        // A missing profile means there is nothing of the suite to remove.
    }
}
