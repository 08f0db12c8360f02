// The import of a .reg file into a registry: the whole file is checked in a
// first pass, then read again and applied in one batch, so that a malformed
// file, a failed read or a failure of the registry changes nothing. Neither
// pass holds more than a line and one value of the file.
//
// Thread safety: one import at a time per registry.
#pragma once

#include <string>

#include "registry/iregistry.hpp"
#include "tool/vrkreg/regfile_parser.hpp"
#include "tool/vrkreg/regfile_source.hpp"

namespace vrk::regfile {

// Imports input into reg; name names the file in messages. Throws
// CommandFailure with a text that starts with the file's name (and the line
// at fault, where there is one) and says whether anything was imported.
// With onSkipped, malformed lines are skipped as parseRegStream describes,
// each handed to onSkipped once, and the rest is applied, still as one
// batch. Returns the number of lines skipped.
unsigned importRegFile(vrk::reg::Registry& reg, RestartableSource& input, const std::string& name,
                       const SkipSink* onSkipped = nullptr);

}  // namespace vrk::regfile
