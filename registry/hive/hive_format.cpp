// The empty hive image: base block, bin, root key, security and free cells.
#include "registry/hive/hive_format.hpp"
#include "registry/hive/hive_bytes.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace vrk::reg::hive {

namespace {

std::size_t align8(std::size_t n) { return (n + 7) & ~std::size_t(7); }

// A self-relative security descriptor: owner Administrators, group SYSTEM,
// a DACL granting everyone full access, inherited by subkeys.
std::string securityDescriptor() {
    static const unsigned char sd[] = {
        0x01, 0x00, 0x04, 0x80,                          // revision, control: self-relative, DACL
        0x30, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00,  // owner at 48, group at 64
        0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00,  // no SACL, DACL at 20
        0x02, 0x00, 0x1C, 0x00, 0x01, 0x00, 0x00, 0x00,  // ACL: revision 2, 28 bytes, 1 ACE
        0x00, 0x02, 0x14, 0x00, 0x3F, 0x00, 0x0F, 0x00,  // allowed, container inherit, KEY_ALL_ACCESS
        0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,  // S-1-1-0
        0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00,
        0x20, 0x02, 0x00, 0x00,                                                  // S-1-5-32-544
        0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x12, 0x00, 0x00, 0x00,  // S-1-5-18
    };
    return std::string(reinterpret_cast<const char*>(sd), sizeof sd);
}

}  // namespace

std::string emptyHiveImage(const std::string& rootName) {
    std::string image(kBaseBlockSize + kBinSize, '\0');

    // Cells, as offsets from the first bin.
    const std::size_t nkAt = kBinHeaderSize;
    const std::size_t nkSize = align8(0x50 + rootName.size());
    const std::size_t skAt = nkAt + nkSize;
    const std::string sd = securityDescriptor();
    const std::size_t skSize = align8(0x18 + sd.size());
    const std::size_t freeAt = skAt + skSize;

    // Base block.
    std::memcpy(&image[0], "regf", 4);
    put32(image, 0x04, 1);  // primary sequence number
    put32(image, 0x08, 1);  // secondary sequence number (equal: consistent)
    put32(image, 0x14, 1);  // major version
    put32(image, 0x18, 5);  // minor version
    put32(image, 0x1C, 0);  // primary file
    put32(image, 0x20, 1);  // memory image format
    put32(image, 0x24, static_cast<std::uint32_t>(nkAt));
    put32(image, 0x28, static_cast<std::uint32_t>(kBinSize));
    put32(image, 0x2C, 1);  // clustering factor
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 0x1FC; at += 4) sum ^= get32(image, at);
    put32(image, 0x1FC, sum);

    // The bin.
    const std::size_t bin = kBaseBlockSize;
    std::memcpy(&image[bin], "hbin", 4);
    put32(image, bin + 0x04, 0);
    put32(image, bin + 0x08, static_cast<std::uint32_t>(kBinSize));

    // Root key: hive entry, cannot be deleted, name in 8-bit form.
    const std::size_t nk = bin + nkAt;
    put32(image, nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));
    std::memcpy(&image[nk + 0x04], "nk", 2);
    put16(image, nk + 0x06, 0x2C);
    put32(image, nk + 0x14, kNoCell);  // parent
    put32(image, nk + 0x20, kNoCell);  // subkey list
    put32(image, nk + 0x24, kNoCell);  // volatile subkey list
    put32(image, nk + 0x2C, kNoCell);  // value list
    put32(image, nk + 0x30, static_cast<std::uint32_t>(skAt));
    put32(image, nk + 0x34, kNoCell);  // class name
    put16(image, nk + 0x4C, static_cast<std::uint32_t>(rootName.size()));
    std::memcpy(&image[nk + 0x50], rootName.data(), rootName.size());

    // Security cell, a list of one linked to itself.
    const std::size_t sk = bin + skAt;
    put32(image, sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(skSize)));
    std::memcpy(&image[sk + 0x04], "sk", 2);
    put32(image, sk + 0x08, static_cast<std::uint32_t>(skAt));
    put32(image, sk + 0x0C, static_cast<std::uint32_t>(skAt));
    put32(image, sk + 0x10, 1);  // reference count
    put32(image, sk + 0x14, static_cast<std::uint32_t>(sd.size()));
    std::memcpy(&image[sk + 0x18], sd.data(), sd.size());

    // The rest of the bin is one free cell.
    put32(image, bin + freeAt, static_cast<std::uint32_t>(kBinSize - freeAt));
    return image;
}

bool writeEmptyHive(const std::string& path, const std::string& rootName, std::string* error) {
    const std::string image = emptyHiveImage(rootName);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    std::size_t done = 0;
    while (ok && done < image.size()) {
        ssize_t n = ::write(fd, image.data() + done, image.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    if (ok) ok = ::fsync(fd) == 0;
    int saved = errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok && error) *error = path + ": " + std::strerror(saved);
    return ok;
}

}  // namespace vrk::reg::hive
