// The hive's own text rules: which value types hold text, and the name used to
// look names up and order them.
#include "registry/hive/hive_text.hpp"

#include "registry/name_folding.hpp"

namespace vrk::reg::hive {


std::string storedTextAsBytes(std::string_view utf16le) {
    std::string out;
    if (utf16leToBytes(utf16le, out)) return out;
    // Not clean: convert unit by unit, as the clean conversion would, with
    // U+FFFD for what it refuses.
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    out.clear();
    const std::size_t units = utf16le.size() / 2;
    std::size_t k = 0;
    while (k < units) {
        std::string piece;
        const std::size_t take = k + 1 < units ? 2 : 1;
        if (take == 2 && utf16leToBytes(utf16le.substr(2 * k, 4), piece)) {
            out += piece;  // two units, or a surrogate pair
            k += 2;
            continue;
        }
        if (utf16leToBytes(utf16le.substr(2 * k, 2), piece))
            out += piece;
        else
            out += kReplacement;
        ++k;
    }
    return out;
}

}  // namespace vrk::reg::hive
