#include "pe_image.h"

#include <algorithm>
#include <vector>
#include "byte_order.h"
#include "stub_marker.h"

namespace velmor {
namespace {

// The shared PE code reads the first size bytes of a source.
struct SourceImage {
    const ByteSource &source;
    uint64_t size;

    static int Read(void *context, uint32_t offset, void *buffer, uint32_t count)
    {
        const SourceImage &image = *static_cast<const SourceImage *>(context);
        if (offset > image.size || count > image.size - offset)
            return 0;
        image.source.Read(offset, buffer, count);
        return 1;
    }
};

} // namespace

std::optional<PeSigningFields> ReadPeSigningFields(const ByteSource &source)
{
    SourceImage image{source, source.Size()};
    ImageReader reader{SourceImage::Read, &image};
    PeHeaders pe;
    if (!LocatePeHeaders(&reader, &pe) || pe.directoryCount <= kPeSecurityDirectory)
        return std::nullopt;
    uint32_t directory = pe.directories + kPeSecurityDirectory * kPeDirectoryEntrySize;
    unsigned char entry[kPeDirectoryEntrySize];
    if (!SourceImage::Read(&image, directory, entry, sizeof entry))
        return std::nullopt;
    PeSigningFields fields;
    fields.checksumOffset = pe.optionalHeader + uint64_t(kPeChecksumOffset);
    fields.directoryOffset = directory;
    fields.tableOffset = LoadLe32(entry);
    fields.tableSize = LoadLe32(entry + 4);
    return fields;
}

bool IsVelmorStub(const ByteSource &source, uint64_t imageSize)
{
    SourceImage image{source, std::min(imageSize, source.Size())};
    ImageReader reader{SourceImage::Read, &image};
    return CarriesStubMarker(&reader) != 0;
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
