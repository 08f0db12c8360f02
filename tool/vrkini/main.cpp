// vrkini: maintains the Selvarine suite's profile for its installer.
//   vrkini -UPDATE [installation directory]   (down to -u, any letter case)
//   vrkini -DELETE                            (down to -d, any letter case)
// The exit status is always 0; what the tool has to say goes to the trace
// (switched on by "TORQA TRACE" and "TORQA TRACETO") and, for the update
// steps, a change report to standard output.
#include "base/iapp.hpp"
#include "base/istring.hpp"
#include "diag/itrace.hpp"
#include "platform/command_line.hpp"
#include "registry/save_failure.hpp"
#include "tool/vrkini/steps.hpp"

namespace {

void runUpdate(const ICurrentApplication& app) {
    addOrReplace("CobolPopulate", "CompilerSelectedOptions", "NOC NOEXIT ADATA");
    const IString commandFile = IString("vrklpgm.cmd") + IString('\n');
    addOrReplace("CobolPopulate", "Cmdfile", commandFile + commandFile);
    validateDirectory("WorkStation", "PopulateReport");
    validateDirectory("WorkStation", "QueryReport");
    validateDirectory("WorkStation", "ValidateReport");
    validateDirectory("WorkStation", "WorkingDirectory");
    validateDirectory("Query", "DirForQuery");
    validateDirectory("QTSGenerate", "DbdSource");
    validateDirectory("QTSGenerate", "PsbSource");
    validateDirectory("CobolGenerate", "DestinationDir");
    if (app.argc() > 2) {
        // The runtime hands the arguments over in the system's code page,
        // which may lack characters of the directory as given.
        const IString directory = app.argv(2);
        removeCannedQueries(directory, vrk::platform::commandLineArgumentIsExact(2, directory));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    try {
        ICurrentApplication& app = IApplication::current();
        app.setArgs(argc, argv);
        // Changes kept for the end of the run that cannot be saved then are
        // traced like every other failure.
        vrk::reg::setSaveFailureReporter([](const char* text) { ITraceLog::write(text); });
        ITraceLog::write(IString("IApplication::current().argc()=") + IString(app.argc()) + " ");
        if (app.argc() < 2) {
            ITraceLog::write("No parameters specified");
            return 0;
        }
        IString verb = app.argv(1);
        verb.makeUpperCase();
        if (verb.isShortFormOf("-UPDATE", 7, 2))
            runUpdate(app);
        else if (verb.isShortFormOf("-DELETE", 7, 2))
            deleteProfile();
        else
            ITraceLog::write("Parameter isn't -u[pdate]");
    } catch (...) {
        // Every step reports its own failures; the installer that runs this
        // tool reads nothing from the exit status.
    }
    return 0;
}
