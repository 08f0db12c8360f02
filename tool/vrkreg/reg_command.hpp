// The registry command: query, add, delete, import and export on the
// registry layer, with the Windows `reg` command's arguments and output.
//
// Thread safety: one command at a time per registry.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "registry/iregistry.hpp"

namespace vrk::regfile {

// Runs one command line (the arguments after the program's name) on reg.
// Reports and query output go to out, failures and usage hints to err.
// Returns the exit status: 0 on success (and for a usage request), 1 on
// any failure or bad arguments, 2 for an import with /skipbad that skipped
// lines and applied the rest. Never throws. beforeBinaryOutput, when
// given, runs just before file bytes (an export to "-") go to out.
int runRegCommand(const std::vector<std::string>& args, vrk::reg::Registry& reg, std::ostream& out,
                  std::ostream& err, const std::function<void()>& beforeBinaryOutput = {});

// The name of a value type as `reg query` shows it ("REG_SZ"), or "0x..." for
// a type without a name.
std::string typeName(std::uint32_t type);

// The data of a value as `reg query` shows it: text up to its first zero
// byte, strings of a list joined by "\0", numbers as 0x..., other data as
// upper-case hex digits.
std::string displayData(std::uint32_t type, const std::string& data);

}  // namespace vrk::regfile
