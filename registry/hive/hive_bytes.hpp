// The regf file's sizes and its little-endian fields, for the code that reads
// and writes hive images itself (the empty hive, compaction, new keys).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vrk::reg::hive {

constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinSize = 0x1000;
constexpr std::size_t kBinHeaderSize = 0x20;
// A cell offset that points nowhere.
constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;

inline std::uint16_t get16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
inline std::uint32_t get32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}
inline void put16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace vrk::reg::hive
