// The hive's own text rules: which value types hold text, and the name used to
// look names up and order them.
#include "platform/registry/hive/hive_text.hpp"

namespace vrk::reg::hive {

bool isTextType(unsigned type) { return type == 1 || type == 2 || type == 7; }

std::string sortName(std::string_view name) {
    std::string s(name);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

}  // namespace vrk::reg::hive
