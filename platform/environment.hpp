// Changing the process's environment variables, as the runtime's getenv
// sees them afterwards. Used by tests and by tools that prepare the
// environment of a program they start.
//
// Thread safety: none; the environment is process-wide and getenv on other
// threads may see a change half made.
#pragma once

namespace vrk::platform {

// Sets name to value (replacing an earlier value). Windows' runtime keeps
// no empty variables: there an empty value removes the variable, which
// environmentKeepsEmptyValues tells. Returns false when the runtime refuses.
bool setEnvironmentVariable(const char* name, const char* value);

// Removes name (no effect when it is not set).
void unsetEnvironmentVariable(const char* name);

// True when a variable can be set to an empty value (Linux).
bool environmentKeepsEmptyValues();

}  // namespace vrk::platform
