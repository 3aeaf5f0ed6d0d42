#include "pe_image.h"

#include <algorithm>
#include <vector>
#include "byte_order.h"

namespace velmor {
namespace {

enum : uint64_t {
    kNewHeaderPointerOffset = 0x3C, // e_lfanew in the DOS header
    kCoffHeaderSize = 20,
    kOptionalHeaderSizeOffset = 16, // SizeOfOptionalHeader, in the COFF header
    kPe32Magic = 0x10B,
    kPe32PlusMagic = 0x20B,
    kChecksumOffset = 64,           // the same in both optional header forms
    kPe32DirectoryCountOffset = 92,
    kPe32PlusDirectoryCountOffset = 108,
    kSecurityDirectoryIndex = 4,
    kDirectoryEntrySize = 8,
};

bool ReadAt(const ByteSource &source, uint64_t offset, void *buffer, size_t count)
{
    if (offset > source.Size() || count > source.Size() - offset)
        return false;
    source.Read(offset, buffer, count);
    return true;
}

} // namespace

std::optional<PeSigningFields> ReadPeSigningFields(const ByteSource &source)
{
    unsigned char dos[kNewHeaderPointerOffset + 4];
    if (!ReadAt(source, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return std::nullopt;
    uint64_t pe = LoadLe32(dos + kNewHeaderPointerOffset);
    unsigned char head[4 + kCoffHeaderSize + 2];
    if (!ReadAt(source, pe, head, sizeof head) || head[0] != 'P' || head[1] != 'E' || head[2] || head[3])
        return std::nullopt;
    uint64_t optionalSize = LoadLe16(head + 4 + kOptionalHeaderSizeOffset);
    uint64_t optional = pe + 4 + kCoffHeaderSize;
    uint16_t magic = LoadLe16(head + 4 + kCoffHeaderSize);
    uint64_t countOffset;
    if (magic == kPe32Magic)
        countOffset = kPe32DirectoryCountOffset;
    else if (magic == kPe32PlusMagic)
        countOffset = kPe32PlusDirectoryCountOffset;
    else
        return std::nullopt;
    uint64_t directory = countOffset + 4 + kSecurityDirectoryIndex * kDirectoryEntrySize;
    unsigned char count[4];
    if (optionalSize < directory + kDirectoryEntrySize || !ReadAt(source, optional + countOffset, count, 4) ||
        LoadLe32(count) <= kSecurityDirectoryIndex)
        return std::nullopt;
    unsigned char entry[kDirectoryEntrySize];
    if (!ReadAt(source, optional + directory, entry, sizeof entry))
        return std::nullopt;
    PeSigningFields fields;
    fields.checksumOffset = optional + kChecksumOffset;
    fields.directoryOffset = optional + directory;
    fields.tableOffset = LoadLe32(entry);
    fields.tableSize = LoadLe32(entry + 4);
    return fields;
}

uint32_t PeChecksum(const ByteSource &source, uint64_t checksumOffset)
{
    const uint64_t size = source.Size();
    constexpr size_t kChunk = 1 << 20; // even, so that words never straddle chunks
    std::vector<unsigned char> buffer(kChunk);
    uint64_t sum = 0;
    for (uint64_t at = 0; at < size; at += kChunk) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - at));
        source.Read(at, buffer.data(), n);
        if (n % 2)
            buffer[n++] = 0;
        // The checksum field counts as zero.
        for (uint64_t f = checksumOffset; f < checksumOffset + 4; ++f) {
            if (f >= at && f < at + n)
                buffer[f - at] = 0;
        }
        // Words are summed in 64 bits and folded once per chunk: a chunk adds less
        // than 2^36, so nothing is lost.
        for (size_t i = 0; i < n; i += 2)
            sum += LoadLe16(&buffer[i]);
        while (sum >> 16)
            sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint32_t>(sum + size);
}

} // namespace velmor
