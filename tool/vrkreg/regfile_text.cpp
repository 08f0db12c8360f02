#include "tool/vrkreg/regfile_text.hpp"

#include <cstdint>

namespace vrk::regfile {

std::size_t characterCount(std::string_view bytes) {
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::uint32_t cp = 0;
        const std::size_t n = vrk::reg::utf8SequenceAt(bytes, i, cp);
        i += n == 0 ? 1 : n;
        ++count;
    }
    return count;
}

}  // namespace vrk::regfile
