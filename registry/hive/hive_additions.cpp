// New keys appended to a hive file image as records.
#include "registry/hive/hive_additions.hpp"
#include "registry/hive/hive_bytes.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "registry/utf16_text.hpp"

namespace vrk::reg::hive {

namespace {

// The most entries one lh record gets; a longer list is split below an ri
// record, as Windows splits its lists.
constexpr std::size_t kLeafEntries = 1012;

// Fields of a key record, from its signature.
constexpr std::size_t kKeyFlags = 0x02, kKeyTime = 0x04, kKeyParent = 0x10, kKeySubkeys = 0x14,
                      kKeyVolatileSubkeys = 0x18, kKeyList = 0x1C, kKeyVolatileList = 0x20,
                      kKeyValues = 0x24, kKeyValueList = 0x28, kKeySecurity = 0x2C,
                      kKeyClass = 0x30, kKeyMaxSubkeyName = 0x34, kKeyMaxValueName = 0x3C,
                      kKeyMaxValueData = 0x40, kKeyNameLength = 0x48, kKeyName = 0x4C;


// A name as a record holds it: Latin-1 (compressed) when every character
// fits, UTF-16LE otherwise. The second member is the UTF-16 byte length.
struct RecordName {
    std::string bytes;
    bool compressed = true;
    std::uint32_t utf16Bytes = 0;
};

RecordName recordName(const std::string& utf8) {
    RecordName out;
    const std::string utf16 = storeBytesToUtf16le(utf8);
    out.utf16Bytes = static_cast<std::uint32_t>(utf16.size());
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        if (utf16[i + 1] != 0) out.compressed = false;
    }
    if (!out.compressed) {
        out.bytes = utf16;
        return out;
    }
    for (std::size_t i = 0; i < utf16.size(); i += 2) out.bytes += utf16[i];
    return out;
}

// Windows' lh hash: every UTF-16 unit of the name upper-cased, h = h*37 + u.
std::uint32_t nameHash(const std::string& utf8) {
    const std::string utf16 = storeBytesToUtf16le(utf8);
    std::uint32_t h = 0;
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        std::uint32_t u = static_cast<unsigned char>(utf16[i]) |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(utf16[i + 1])) << 8;
        if (u < 0xD800 || u > 0xDFFF) {
            const UChar32 up = u_toupper(static_cast<UChar32>(u));
            if (up >= 0 && up <= 0xFFFF) u = static_cast<std::uint32_t>(up);
        }
        h = h * 37 + u;
    }
    return h;
}

class Appender {
public:
    Appender(std::string& image, const HiveAdditions& additions) : image_(image), add_(additions) {}

    bool run(std::string* why) {
        if (image_.size() < kBaseBlockSize || image_.size() % kBinSize != 0) {
            *why = "the hive image has no room for new keys";
            return false;
        }
        for (const auto& [node, list] : add_.parents) {
            if (!isImageKey(node)) {
                char buf[96];
                std::snprintf(buf, sizeof buf, "no key record at offset 0x%zx for new subkeys",
                              node);
                *why = buf;
                return false;
            }
        }
        for (const AddedKeyRecord& k : add_.keys) {
            if (k.parent == AddedKeyRecord::kNoParent && !isImageKey(k.parentNode)) {
                *why = "the parent of new key \"" + k.name + "\" is not a key record";
                return false;
            }
        }
        // One new bin holds every record, so that the image stays a hive
        // whether it is compacted or not.
        const std::size_t bin = image_.size();
        image_.append(kBinHeaderSize, '\0');
        // The key records first, so that every list can name them.
        offsets_.resize(add_.keys.size());
        for (std::size_t i = 0; i < add_.keys.size(); ++i) writeKey(i);
        for (std::size_t i = 0; i < add_.keys.size(); ++i) {
            const AddedKeyRecord& k = add_.keys[i];
            const std::size_t d = sig(offsets_[i]);
            if (k.values != nullptr && !k.values->empty()) writeValues(d, *k.values);
            if (!k.subkeys.empty()) linkSubkeys(d, k.subkeys);
        }
        for (const auto& [node, list] : add_.parents) {
            if (!list.empty()) linkSubkeys(node + 4, list);
        }
        // The bin ends in one free cell, and the base block counts it.
        const std::size_t used = image_.size() - bin;
        const std::size_t size = (used + kBinSize - 1) / kBinSize * kBinSize;
        if (size > used) {
            image_.append(size - used, '\0');
            put32(image_, bin + used, static_cast<std::uint32_t>(size - used));
        }
        std::memcpy(&image_[bin], "hbin", 4);
        put32(image_, bin + 4, static_cast<std::uint32_t>(bin - kBaseBlockSize));
        put32(image_, bin + 8, static_cast<std::uint32_t>(size));
        put32(image_, 0x28, static_cast<std::uint32_t>(image_.size() - kBaseBlockSize));
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < 0x1FC; at += 4) sum ^= get32(image_, at);
        put32(image_, 0x1FC, sum);
        return true;
    }

private:
    // The offset (from the first bin) of a new cell holding size bytes.
    std::uint32_t cell(std::size_t size) {
        const std::size_t total = (size + 4 + 7) & ~std::size_t(7);
        const std::uint32_t off = static_cast<std::uint32_t>(image_.size() - kBaseBlockSize);
        image_.append(total, '\0');
        put32(image_, kBaseBlockSize + off,
              static_cast<std::uint32_t>(-static_cast<std::int32_t>(total)));
        return off;
    }
    static std::size_t sig(std::uint32_t off) { return kBaseBlockSize + off + 4; }

    bool isImageKey(Node node) const {
        return node >= kBaseBlockSize && node + 4 + kKeyName <= image_.size() &&
               image_.compare(node + 4, 2, "nk") == 0;
    }

    void writeKey(std::size_t i) {
        const AddedKeyRecord& k = add_.keys[i];
        const RecordName name = recordName(k.name);
        const std::uint32_t off = cell(kKeyName + name.bytes.size());
        offsets_[i] = off;
        const std::size_t d = sig(off);
        std::size_t parentSig;
        std::uint32_t parentOff;
        if (k.parent == AddedKeyRecord::kNoParent) {
            parentSig = k.parentNode + 4;
            parentOff = static_cast<std::uint32_t>(k.parentNode - kBaseBlockSize);
        } else {
            parentOff = offsets_[k.parent];
            parentSig = sig(parentOff);
        }
        std::memcpy(&image_[d], "nk", 2);
        put16(image_, d + kKeyFlags, name.compressed ? 0x20 : 0);
        std::uint64_t time = k.written;
        if (time == 0) {
            time = get32(image_, parentSig + kKeyTime) |
                   std::uint64_t(get32(image_, parentSig + kKeyTime + 4)) << 32;
        }
        put32(image_, d + kKeyTime, static_cast<std::uint32_t>(time));
        put32(image_, d + kKeyTime + 4, static_cast<std::uint32_t>(time >> 32));
        put32(image_, d + kKeyParent, parentOff);
        put32(image_, d + kKeySubkeys, 0);
        put32(image_, d + kKeyVolatileSubkeys, 0);
        put32(image_, d + kKeyList, kNoCell);
        put32(image_, d + kKeyVolatileList, kNoCell);
        put32(image_, d + kKeyValues, 0);
        put32(image_, d + kKeyValueList, kNoCell);
        put32(image_, d + kKeySecurity, get32(image_, parentSig + kKeySecurity));
        put32(image_, d + kKeyClass, kNoCell);
        put16(image_, d + kKeyNameLength, static_cast<std::uint32_t>(name.bytes.size()));
        std::memcpy(&image_[d + kKeyName], name.bytes.data(), name.bytes.size());
    }

    void writeValues(std::size_t keySig, const std::vector<StoredValue>& values) {
        const std::uint32_t list = cell(4 * values.size());
        std::uint32_t maxName = 0, maxData = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const StoredValue& v = values[i];
            const RecordName name = recordName(v.name);
            const std::uint32_t vk = cell(0x14 + name.bytes.size());
            put32(image_, sig(list) + 4 * i, vk);
            const std::uint32_t length = static_cast<std::uint32_t>(v.raw.size());
            std::uint32_t dataAt = 0;
            if (length > 4) {
                dataAt = cell(length);
                std::memcpy(&image_[sig(dataAt)], v.raw.data(), length);
            }
            const std::size_t d = sig(vk);
            std::memcpy(&image_[d], "vk", 2);
            put16(image_, d + 2, static_cast<std::uint32_t>(name.bytes.size()));
            put32(image_, d + 4, length <= 4 ? length | 0x80000000u : length);
            if (length <= 4)
                std::memcpy(&image_[d + 8], v.raw.data(), length);
            else
                put32(image_, d + 8, dataAt);
            put32(image_, d + 0xC, v.type);
            put16(image_, d + 0x10, !name.bytes.empty() && name.compressed ? 1 : 0);
            std::memcpy(&image_[d + 0x14], name.bytes.data(), name.bytes.size());
            maxName = std::max(maxName, name.utf16Bytes);
            maxData = std::max(maxData, length);
        }
        put32(image_, keySig + kKeyValues, static_cast<std::uint32_t>(values.size()));
        put32(image_, keySig + kKeyValueList, list);
        put32(image_, keySig + kKeyMaxValueName, maxName);
        put32(image_, keySig + kKeyMaxValueData, maxData);
    }

    std::uint32_t leaf(const std::vector<SubkeyRef>& list, std::size_t from, std::size_t to) {
        const std::uint32_t lh = cell(4 + 8 * (to - from));
        const std::size_t d = sig(lh);
        std::memcpy(&image_[d], "lh", 2);
        put16(image_, d + 2, static_cast<std::uint32_t>(to - from));
        for (std::size_t i = from; i < to; ++i) {
            const SubkeyRef& s = list[i];
            const std::uint32_t at =
                s.added ? offsets_[s.ref] : static_cast<std::uint32_t>(s.ref - kBaseBlockSize);
            put32(image_, d + 4 + 8 * (i - from), at);
            put32(image_, d + 8 + 8 * (i - from), nameHash(s.name));
        }
        return lh;
    }

    // Gives the key whose record starts at keySig the subkey list list.
    void linkSubkeys(std::size_t keySig, const std::vector<SubkeyRef>& list) {
        std::uint32_t head;
        if (list.size() <= kLeafEntries) {
            head = leaf(list, 0, list.size());
        } else {
            std::vector<std::uint32_t> leaves;
            for (std::size_t from = 0; from < list.size(); from += kLeafEntries)
                leaves.push_back(leaf(list, from, std::min(list.size(), from + kLeafEntries)));
            head = cell(4 + 4 * leaves.size());
            const std::size_t d = sig(head);
            std::memcpy(&image_[d], "ri", 2);
            put16(image_, d + 2, static_cast<std::uint32_t>(leaves.size()));
            for (std::size_t i = 0; i < leaves.size(); ++i) put32(image_, d + 4 + 4 * i, leaves[i]);
        }
        std::uint32_t maxName = get32(image_, keySig + kKeyMaxSubkeyName) & 0xFFFF;
        for (const SubkeyRef& s : list) maxName = std::max(maxName, recordName(s.name).utf16Bytes);
        put32(image_, keySig + kKeySubkeys, static_cast<std::uint32_t>(list.size()));
        put32(image_, keySig + kKeyList, head);
        put16(image_, keySig + kKeyMaxSubkeyName, maxName);
    }

    std::string& image_;
    const HiveAdditions& add_;
    std::vector<std::uint32_t> offsets_;  // of the new keys' cells
};

}  // namespace

bool appendAdditions(std::string& image, const HiveAdditions& additions, std::string* why) {
    return Appender(image, additions).run(why);
}

}  // namespace vrk::reg::hive
