// What the two sides of output_file.hpp share: the text of an errno value and
// the name of a new file beside its target.
#pragma once

#include <string>

namespace vrk::platform::output_file_detail {

// strerror's text, or "an unknown error" for 0.
std::string reasonOf(int error);

// target with ".vrk-" and twelve random hex digits appended.
std::string temporaryNameFor(const std::string& target);

}  // namespace vrk::platform::output_file_detail
