#include "stub_marker.h"

#include "byte_order.h"

namespace {

enum : uint32_t {
    kNewHeaderPointer = 0x3C, // e_lfanew in the DOS header
    kCoffHeaderSize = 20,
    kSectionHeaderSize = 40,
    kResourceDirectorySize = 16,
    kResourceEntrySize = 8,
    kSubdirectoryBit = 0x80000000u,
    kVersionResourceType = 16,
    kAnyEntry = 0xFFFFFFFFu,
    kBlockHeaderSize = 6, // wLength, wValueLength, wType; the key follows
    kTextBlock = 1,
    kMaxBlockDepth = 3,   // VS_VERSION_INFO, StringFileInfo, a string table, the strings
    // No offset of a program that heads a package goes beyond: sums of two stay
    // below 2^32.
    kImageLimit = 0x7FFFFFFFu
};

int Read16(const ImageReader *image, uint32_t offset, uint32_t *value)
{
    unsigned char bytes[2];
    if (!image->read(image->context, offset, bytes, 2))
        return 0;
    *value = LoadLe16(bytes);
    return 1;
}

int Read32(const ImageReader *image, uint32_t offset, uint32_t *value)
{
    unsigned char bytes[4];
    if (!image->read(image->context, offset, bytes, 4))
        return 0;
    *value = LoadLe32(bytes);
    return 1;
}

uint32_t Align4(uint32_t offset)
{
    return (offset + 3) & ~3u;
}

// The file offset of the image's byte at rva, and how many bytes of its section lie
// from there; 0 when no section holds it in the file.
int FileOffsetOf(const ImageReader *image, const PeHeaders *pe, uint32_t rva, uint32_t *offset, uint32_t *room)
{
    for (uint32_t i = 0; i < pe->sectionCount; ++i) {
        uint32_t header = pe->sectionTable + i * kSectionHeaderSize;
        uint32_t address, rawSize, rawOffset;
        if (!Read32(image, header + 12, &address) || !Read32(image, header + 16, &rawSize) ||
            !Read32(image, header + 20, &rawOffset))
            return 0;
        if (rawOffset > kImageLimit || rawSize > kImageLimit - rawOffset)
            return 0;
        if (rva >= address && rva - address < rawSize) {
            *offset = rawOffset + (rva - address);
            *room = rawSize - (rva - address);
            return 1;
        }
    }
    return 0;
}

// The target of the entry with id (the first entry for kAnyEntry) in the resource
// directory at offset; 0 when there is none.
int ResourceEntry(const ImageReader *image, uint32_t offset, uint32_t id, uint32_t *target)
{
    uint32_t named, ids;
    if (!Read16(image, offset + 12, &named) || !Read16(image, offset + 14, &ids))
        return 0;
    uint32_t entry = offset + kResourceDirectorySize;
    for (uint32_t i = 0; i < named + ids; ++i, entry += kResourceEntrySize) {
        uint32_t name;
        if (!Read32(image, entry, &name))
            return 0;
        if (id == kAnyEntry || (i >= named && name == id))
            return Read32(image, entry + 4, target);
    }
    return 0;
}

// The file offset that a resource directory entry's target (without its
// subdirectory bit) stands for; 0 when it lies beyond any image.
int ResourceOffset(uint32_t root, uint32_t target, uint32_t *offset)
{
    *offset = root + (target & ~kSubdirectoryBit);
    return *offset <= kImageLimit;
}

// Whether the zero-terminated UTF-16 text at offset, inside end, spells ascii.
int TextIs(const ImageReader *image, uint32_t offset, uint32_t end, const char *ascii)
{
    for (;; offset += 2, ++ascii) {
        uint32_t c;
        if (offset + 2 > end || !Read16(image, offset, &c))
            return 0;
        if (c != static_cast<unsigned char>(*ascii))
            return 0;
        if (c == 0)
            return 1;
    }
}

// What the strings of a version resource say of the program.
struct StubStrings {
    int formatNamed;   // a STUB_MARKER_KEY string is there
    int formatMatches; // and it names STUB_MARKER_VALUE
    int productNamed;  // ProductName is STUB_PRODUCT_NAME
    int internalNamed; // InternalName is STUB_INTERNAL_NAME
};

// Walks the blocks from offset to end, at depth below VS_VERSION_INFO (which is depth
// 0), and notes in found what the strings of its string tables say; 0 when a block
// does not fit where it lies.
int ReadBlocks(const ImageReader *image, uint32_t offset, uint32_t end, int depth, StubStrings *found)
{
    while (offset + kBlockHeaderSize <= end) {
        uint32_t length, valueLength, type;
        if (!Read16(image, offset, &length) || !Read16(image, offset + 2, &valueLength) ||
            !Read16(image, offset + 4, &type) || length < kBlockHeaderSize || length > end - offset)
            return 0;
        uint32_t blockEnd = offset + length;
        uint32_t key = offset + kBlockHeaderSize;
        uint32_t keyEnd = key;
        for (uint32_t c = 1; c != 0; keyEnd += 2) {
            if (keyEnd + 2 > blockEnd || !Read16(image, keyEnd, &c))
                return 0;
        }
        uint32_t value = Align4(keyEnd);
        uint32_t valueBytes = type == kTextBlock ? valueLength * 2 : valueLength;
        uint32_t children = Align4(value + valueBytes);
        if (depth == 0)
            return TextIs(image, key, blockEnd, "VS_VERSION_INFO") && ReadBlocks(image, children, blockEnd, 1, found);
        if (depth == 1 && TextIs(image, key, blockEnd, "StringFileInfo") &&
            !ReadBlocks(image, children, blockEnd, 2, found))
            return 0;
        if (depth == 2 && !ReadBlocks(image, children, blockEnd, 3, found))
            return 0;
        if (depth == kMaxBlockDepth && type == kTextBlock) {
            if (TextIs(image, key, blockEnd, STUB_MARKER_KEY)) {
                found->formatNamed = 1;
                found->formatMatches |= TextIs(image, value, blockEnd, STUB_MARKER_VALUE);
            } else if (TextIs(image, key, blockEnd, "ProductName")) {
                found->productNamed |= TextIs(image, value, blockEnd, STUB_PRODUCT_NAME);
            } else if (TextIs(image, key, blockEnd, "InternalName")) {
                found->internalNamed |= TextIs(image, value, blockEnd, STUB_INTERNAL_NAME);
            }
        }
        offset = Align4(blockEnd);
    }
    return 1;
}

} // namespace

int LocatePeHeaders(const ImageReader *image, PeHeaders *headers)
{
    unsigned char mz[2];
    uint32_t pe, signature, sections, optionalSize, magic, count;
    if (!image->read(image->context, 0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z' ||
        !Read32(image, kNewHeaderPointer, &pe) || pe > 0x7FFFFFFFu || !Read32(image, pe, &signature) ||
        signature != 0x00004550u || !Read16(image, pe + 6, &sections) || !Read16(image, pe + 20, &optionalSize))
        return 0;
    headers->optionalHeader = pe + 4 + kCoffHeaderSize;
    if (!Read16(image, headers->optionalHeader, &magic) || (magic != kPe32Magic && magic != kPe32PlusMagic))
        return 0;
    uint32_t countOffset = magic == kPe32Magic ? 92 : 108;
    if (optionalSize < countOffset + 4 || !Read32(image, headers->optionalHeader + countOffset, &count))
        return 0;
    uint32_t room = (optionalSize - countOffset - 4) / kPeDirectoryEntrySize;
    headers->magic = static_cast<uint16_t>(magic);
    headers->directories = headers->optionalHeader + countOffset + 4;
    headers->directoryCount = count < room ? count : room;
    headers->sectionTable = headers->optionalHeader + optionalSize;
    headers->sectionCount = sections;
    return 1;
}

int CarriesStubMarker(const ImageReader *image)
{
    PeHeaders pe;
    uint32_t rva, root, room, type, name, language, dataRva, dataSize, blob, blobRoom;
    if (!LocatePeHeaders(image, &pe) || pe.directoryCount <= kPeResourceDirectory ||
        !Read32(image, pe.directories + kPeResourceDirectory * kPeDirectoryEntrySize, &rva) ||
        !FileOffsetOf(image, &pe, rva, &root, &room))
        return 0;
    // Type, name and language: two subdirectories, then the data entry.
    uint32_t names, languages, data;
    if (!ResourceEntry(image, root, kVersionResourceType, &type) || !(type & kSubdirectoryBit) ||
        !ResourceOffset(root, type, &names) || !ResourceEntry(image, names, kAnyEntry, &name) ||
        !(name & kSubdirectoryBit) || !ResourceOffset(root, name, &languages) ||
        !ResourceEntry(image, languages, kAnyEntry, &language) || (language & kSubdirectoryBit) ||
        !ResourceOffset(root, language, &data) || !Read32(image, data, &dataRva) || !Read32(image, data + 4, &dataSize) ||
        !FileOffsetOf(image, &pe, dataRva, &blob, &blobRoom))
        return 0;
    uint32_t size = dataSize < blobRoom ? dataSize : blobRoom;
    StubStrings found = {0, 0, 0, 0};
    if (!ReadBlocks(image, blob, blob + size, 0, &found))
        return 0;
    // Stubs made before the marker read this format too, and say what they are.
    return found.formatMatches || (!found.formatNamed && found.productNamed && found.internalNamed);
}
