// Compaction of a hive file: reachable cells copied into fresh bins.
#include "registry/hive/hive_compact.hpp"
#include "registry/hive/hive_bytes.hpp"

#include "registry/hive/hive_additions.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace vrk::reg::hive {

namespace {

// Value data longer than this is kept in big-data segments ("db").
constexpr std::uint32_t kBigDataThreshold = 16344;


enum class Kind { key, subkeys, values, value, data, bigData, segments, security, className };

struct Cell {
    std::uint32_t old;  // offset in the old hive (from its first bin)
    Kind kind;
    std::uint32_t size;              // bytes to copy (the old cell, size field included)
    std::uint32_t parent = kNoCell;  // key: the key it was found below
    std::uint32_t at = 0;            // offset in the new hive
};

class Compactor {
public:
    explicit Compactor(std::string_view image) : image_(image) {}

    bool run(std::string* out, std::string* why) {
        if (image_.size() < kBaseBlockSize + kBinSize || image_.substr(0, 4) != "regf") {
            return fail(why, "not a hive file");
        }
        const std::uint32_t root = get32(image_, 0x24);
        if (!visit(root, Kind::key, 0, kNoCell)) return fail(why, error_);
        // Keys are met breadth first from a queue, so that deep hives need no
        // deep recursion.
        for (std::size_t i = 0; i < cells_.size(); ++i) {
            if (!expand(i)) return fail(why, error_);
        }
        layOut();
        write(*out);
        return true;
    }

private:
    bool fail(std::string* why, const std::string& text) {
        *why = text;
        return false;
    }
    bool damage(std::uint32_t off, const char* what) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%s at offset 0x%x", what, off);
        error_ = buf;
        return false;
    }
    // The data of the cell at off (after its size field) and its length.
    bool cellAt(std::uint32_t off, std::size_t& data, std::uint32_t& length) {
        const std::size_t start = kBaseBlockSize + std::size_t(off);
        if (off == kNoCell || start + 4 > image_.size()) return damage(off, "a cell out of bounds");
        const std::int32_t size = static_cast<std::int32_t>(get32(image_, start));
        if (size >= 0 || size == INT32_MIN || start + std::size_t(-size) > image_.size() ||
            -size < 8) {
            return damage(off, "a free or oversized cell");
        }
        data = start + 4;
        length = static_cast<std::uint32_t>(-size) - 4;
        return true;
    }
    bool visit(std::uint32_t off, Kind kind, std::uint32_t minLength, std::uint32_t parent) {
        if (index_.count(off) != 0) return true;
        std::size_t data;
        std::uint32_t length;
        if (!cellAt(off, data, length)) return false;
        if (length < minLength) return damage(off, "a record longer than its cell");
        index_.emplace(off, static_cast<std::uint32_t>(cells_.size()));
        cells_.push_back(Cell{off, kind, length + 4, parent, 0});
        return true;
    }
    bool signature(std::size_t data, const char* sig) { return image_.substr(data, 2) == sig; }

    bool expand(std::size_t i) {
        const Cell c = cells_[i];
        const std::size_t d = kBaseBlockSize + c.old + 4;
        const std::uint32_t length = c.size - 4;
        switch (c.kind) {
        case Kind::key: {
            if (length < 0x4C || !signature(d, "nk")) return damage(c.old, "not a key record");
            const std::uint32_t subkeys = get32(image_, d + 0x14);
            const std::uint32_t values = get32(image_, d + 0x24);
            const std::uint32_t sk = get32(image_, d + 0x2C);
            const std::uint32_t cls = get32(image_, d + 0x30);
            const std::uint16_t classLength = get16(image_, d + 0x4A);
            if (subkeys > 0 && !visit(get32(image_, d + 0x1C), Kind::subkeys, 4, c.old))
                return false;
            if (values > 0 && !visit(get32(image_, d + 0x28), Kind::values, 0, c.old)) return false;
            if (sk != kNoCell) {
                if (!visit(sk, Kind::security, 0x14, c.old)) return false;
                ++references_[sk];
            }
            if (cls != kNoCell && classLength > 0 && !visit(cls, Kind::className, 0, c.old))
                return false;
            return true;
        }
        case Kind::subkeys: {
            const std::uint16_t n = get16(image_, d + 2);
            const bool pairs = signature(d, "lf") || signature(d, "lh");
            const bool ri = signature(d, "ri");
            if (!pairs && !ri && !signature(d, "li")) return damage(c.old, "not a subkey list");
            const std::size_t step = pairs ? 8 : 4;
            if (4 + n * step > length) return damage(c.old, "a subkey list longer than its cell");
            for (std::size_t k = 0; k < n; ++k) {
                const std::uint32_t to = get32(image_, d + 4 + k * step);
                if (!visit(to, ri ? Kind::subkeys : Kind::key, 4, c.parent)) return false;
            }
            return true;
        }
        case Kind::values: {
            const std::uint32_t n = get32(image_, kBaseBlockSize + c.parent + 4 + 0x24);
            if (std::uint64_t(n) * 4 > length)
                return damage(c.old, "a value list longer than its cell");
            for (std::uint32_t k = 0; k < n; ++k) {
                if (!visit(get32(image_, d + 4 * k), Kind::value, 0x14, kNoCell)) return false;
            }
            return true;
        }
        case Kind::value: {
            if (!signature(d, "vk")) return damage(c.old, "not a value record");
            const std::uint32_t dataLength = get32(image_, d + 4);
            const std::uint32_t at = get32(image_, d + 8);
            if ((dataLength & 0x80000000u) != 0 || dataLength == 0 || at == kNoCell) return true;
            std::size_t dd;
            std::uint32_t dl;
            if (!cellAt(at, dd, dl)) return false;
            if (dataLength > kBigDataThreshold && dl >= 8 && signature(dd, "db"))
                return visit(at, Kind::bigData, 8, kNoCell);
            return visit(at, Kind::data, 0, kNoCell);
        }
        case Kind::bigData: {
            const std::uint16_t n = get16(image_, d + 2);
            const std::uint32_t list = get32(image_, d + 4);
            const bool known = index_.count(list) != 0;
            if (!visit(list, Kind::segments, 0, kNoCell)) return false;
            Cell& segments = cells_[index_.at(list)];
            if (known && (segments.kind != Kind::segments || segments.parent != n))
                return damage(list, "a segment list shared by two values");
            segments.parent = n;  // the segment count
            return true;
        }
        case Kind::segments: {
            if (std::uint64_t(c.parent) * 4 > length)
                return damage(c.old, "a segment list longer than its cell");
            for (std::uint32_t k = 0; k < c.parent; ++k) {
                if (!visit(get32(image_, d + 4 * k), Kind::data, 0, kNoCell)) return false;
            }
            return true;
        }
        case Kind::data:
        case Kind::security:
        case Kind::className: return true;
        }
        return true;
    }

    // Gives every cell its place: cells are packed into 4 KiB bins in the
    // order met, and a cell too big for one gets a bin of its own.
    void layOut() {
        std::size_t binStart = 0, used = 0, binEnd = 0;
        const auto close = [&] {
            if (binEnd > binStart) bins_.push_back({binStart, binEnd});
        };
        for (Cell& c : cells_) {
            c.size = (c.size + 7) & ~std::uint32_t(7);
            if (used + c.size > binEnd) {
                close();
                binStart = binEnd;
                const std::size_t need = kBinHeaderSize + c.size;
                binEnd = binStart + (need + kBinSize - 1) / kBinSize * kBinSize;
                used = binStart + kBinHeaderSize;
            }
            c.at = static_cast<std::uint32_t>(used);
            used += c.size;
        }
        close();
    }

    std::uint32_t moved(std::uint32_t old) const {
        auto it = index_.find(old);
        return it == index_.end() ? kNoCell : cells_[it->second].at;
    }

    void write(std::string& out) {
        const std::size_t dataSize = bins_.empty() ? 0 : bins_.back().second;
        out.assign(kBaseBlockSize + dataSize, '\0');
        std::memcpy(&out[0], image_.data(), kBaseBlockSize);
        put32(out, 0x24, moved(get32(image_, 0x24)));
        put32(out, 0x28, static_cast<std::uint32_t>(dataSize));
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < 0x1FC; at += 4) sum ^= get32(out, at);
        put32(out, 0x1FC, sum);

        // Bins, each ending in one free cell where cells leave room.
        std::size_t next = 0;
        for (const auto& [start, end] : bins_) {
            const std::size_t b = kBaseBlockSize + start;
            std::memcpy(&out[b], "hbin", 4);
            put32(out, b + 4, static_cast<std::uint32_t>(start));
            put32(out, b + 8, static_cast<std::uint32_t>(end - start));
            std::size_t used = start + kBinHeaderSize;
            for (; next < cells_.size() && cells_[next].at < end; ++next)
                used = cells_[next].at + cells_[next].size;
            if (used < end)
                put32(out, kBaseBlockSize + used, static_cast<std::uint32_t>(end - used));
        }

        std::vector<std::uint32_t> security;
        for (const Cell& c : cells_) {
            const std::size_t from = kBaseBlockSize + c.old;
            const std::size_t to = kBaseBlockSize + c.at;
            const std::size_t oldSize =
                static_cast<std::size_t>(-static_cast<std::int32_t>(get32(image_, from)));
            std::memcpy(&out[to], image_.data() + from, oldSize);
            put32(out, to, static_cast<std::uint32_t>(-static_cast<std::int32_t>(c.size)));
            const std::size_t d = to + 4;
            const auto relink = [&](std::size_t at) { put32(out, at, moved(get32(out, at))); };
            switch (c.kind) {
            case Kind::key: {
                put32(out, d + 0x10, c.parent == kNoCell ? kNoCell : moved(c.parent));
                put32(out, d + 0x18, 0);  // volatile subkeys: none in a file
                put32(out, d + 0x20, kNoCell);
                if (get32(out, d + 0x14) == 0)
                    put32(out, d + 0x1C, kNoCell);
                else
                    relink(d + 0x1C);
                if (get32(out, d + 0x24) == 0)
                    put32(out, d + 0x28, kNoCell);
                else
                    relink(d + 0x28);
                if (get32(out, d + 0x2C) != kNoCell) relink(d + 0x2C);
                if (get32(out, d + 0x30) != kNoCell) {
                    if (get16(out, d + 0x4A) == 0)
                        put32(out, d + 0x30, kNoCell);
                    else
                        relink(d + 0x30);
                }
                break;
            }
            case Kind::subkeys: {
                const std::uint16_t n = get16(out, d + 2);
                const std::size_t step =
                    out.compare(d, 2, "lf") == 0 || out.compare(d, 2, "lh") == 0 ? 8 : 4;
                for (std::size_t k = 0; k < n; ++k) relink(d + 4 + k * step);
                break;
            }
            case Kind::values: {
                const std::uint32_t n = get32(image_, kBaseBlockSize + c.parent + 4 + 0x24);
                for (std::uint32_t k = 0; k < n; ++k) relink(d + 4 * k);
                break;
            }
            case Kind::value: {
                const std::uint32_t dataLength = get32(out, d + 4);
                if ((dataLength & 0x80000000u) == 0 && dataLength != 0 &&
                    get32(out, d + 8) != kNoCell)
                    relink(d + 8);
                break;
            }
            case Kind::bigData: relink(d + 4); break;
            case Kind::segments:
                for (std::uint32_t k = 0; k < c.parent; ++k) relink(d + 4 * k);
                break;
            case Kind::security:
                security.push_back(c.at);
                put32(out, d + 0xC, references_[c.old]);
                break;
            case Kind::data:
            case Kind::className: break;
            }
        }
        // The security cells form one ring, in the order met.
        for (std::size_t k = 0; k < security.size(); ++k) {
            const std::size_t d = kBaseBlockSize + security[k] + 4;
            put32(out, d + 4, security[(k + 1) % security.size()]);
            put32(out, d + 8, security[(k + security.size() - 1) % security.size()]);
        }
    }

    std::string_view image_;
    std::vector<Cell> cells_;
    std::unordered_map<std::uint32_t, std::uint32_t> index_;  // old offset -> cells_ index
    std::unordered_map<std::uint32_t, std::uint32_t> references_;
    std::vector<std::pair<std::size_t, std::size_t>> bins_;  // [start, end) from the first bin
    std::string error_;
};

}  // namespace

bool compactHive(std::string_view image, std::string* out, std::string* why) {
    return Compactor(image).run(out, why);
}

Compacted compactHiveFile(const std::string& path, std::string* why,
                          const HiveAdditions* additions) {
    const bool adding = additions != nullptr && !additions->empty();
    bool added = false;
    std::string extended;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *why = path + ": " + std::strerror(errno);
        return Compacted::kept;
    }
    struct stat st {};
    std::string compact;
    bool ok = ::fstat(fd, &st) == 0 && st.st_size > 0;
    if (ok) {
        void* map =
            ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        ok = map != MAP_FAILED;
        if (ok) {
            std::string_view image(static_cast<const char*>(map),
                                   static_cast<std::size_t>(st.st_size));
            if (adding) {
                extended.reserve(image.size() + image.size() / 2);
                extended.assign(image);
                added = appendAdditions(extended, *additions, why);
                ok = added;
                image = extended;
            }
            ok = ok && compactHive(image, &compact, why);
            ::munmap(map, static_cast<std::size_t>(st.st_size));
            if (!ok) *why = path + ": " + *why;
        } else {
            *why = path + ": " + std::strerror(errno);
        }
    } else if (why->empty()) {
        *why = path + ": empty or unreadable";
    }
    Compacted result = Compacted::compacted;
    if (!ok && added) {
        // The image with the new records, as it is: a hive that cannot be
        // compacted still gets what was added to it.
        compact.swap(extended);
        ok = true;
        result = Compacted::kept;
    } else if (!ok) {
        ::close(fd);
        return adding ? Compacted::failed : Compacted::kept;
    }
    // Written from the start and cut after, so that the room the file holds
    // is used, not given back and asked for again.
    std::size_t done = 0;
    while (ok && done < compact.size()) {
        ssize_t n =
            ::pwrite(fd, compact.data() + done, compact.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *why = path + ": " + std::strerror(errno);
            ok = false;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (ok && ::ftruncate(fd, static_cast<off_t>(compact.size())) != 0) {
        *why = path + ": " + std::strerror(errno);
        ok = false;
    }
    if (ok && ::fsync(fd) != 0) {
        *why = path + ": " + std::strerror(errno);
        ok = false;
    }
    ::close(fd);
    return ok ? result : Compacted::failed;
}

}  // namespace vrk::reg::hive
