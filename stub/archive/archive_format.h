// The archive appended to a stub file: the one definition of its layout, shared by
// the stub (which reads it) and the packer (which writes it).
//
//   [executable image][entry record + data] ... [entry record + data][trailer, 1052 bytes]
//
// All integers are little-endian and unaligned; all text is ANSI, zero-terminated.
#ifndef VELMOR_ARCHIVE_FORMAT_H
#define VELMOR_ARCHIVE_FORMAT_H

#include <stddef.h>
#include <stdint.h>

#define ARCHIVE_SIGNATURE "QX-V1.10"

enum {
    kTrailerSize = 1052,
    kSignatureSize = 10,
    kSetupProgramSize = 256,
    kDefaultFolderSize = 256,
    kDescriptionSize = 512,
    kMaxNameLength = 256,   // stored length of a name, its zero byte included
    kEntryFixedSize = 32,   // attributes, three FILETIMEs, data size
    kPathBufferSize = 256   // every path the stub builds: at most 255 characters
};

enum ArchiveMode {
    kModeExtract = 0,
    kModeSetup = 1
};

#pragma pack(push, 1)
// The trailer exactly as it lies in the file; the stub keeps a byte copy of it.
struct ArchiveTrailer {
    char signature[kSignatureSize];      // "QX-V1.10" and zero bytes
    uint8_t mode;                        // ArchiveMode; any other value: nothing is extracted
    uint8_t reserved1;
    int32_t compressed;                  // nonzero: every entry's data is an SZDD file
    uint32_t entryCount;
    char setupProgram[kSetupProgramSize]; // relative to the destination folder; empty = none
    char defaultFolder[kDefaultFolderSize]; // full path; empty = the stub chooses
    char description[kDescriptionSize];
    uint8_t reserved2[4];
    uint32_t dataOffset;                 // file offset of the first entry record
};

// The FILETIME of a stored entry: low half first.
struct StoredFileTime {
    uint32_t low;
    uint32_t high;
};

// The fixed fields that follow the two names of an entry record.
struct EntryFixedFields {
    uint32_t attributes;
    StoredFileTime creationTime;
    StoredFileTime lastAccessTime;
    StoredFileTime lastWriteTime;
    uint32_t dataSize;
};
#pragma pack(pop)

static_assert(sizeof(ArchiveTrailer) == kTrailerSize, "trailer layout");
static_assert(offsetof(ArchiveTrailer, mode) == 10, "trailer layout");
static_assert(offsetof(ArchiveTrailer, compressed) == 12, "trailer layout");
static_assert(offsetof(ArchiveTrailer, entryCount) == 16, "trailer layout");
static_assert(offsetof(ArchiveTrailer, setupProgram) == 20, "trailer layout");
static_assert(offsetof(ArchiveTrailer, defaultFolder) == 276, "trailer layout");
static_assert(offsetof(ArchiveTrailer, description) == 532, "trailer layout");
static_assert(offsetof(ArchiveTrailer, dataOffset) == 1048, "trailer layout");
static_assert(sizeof(EntryFixedFields) == kEntryFixedSize, "entry layout");

// Windows file attribute bits that the packer stores.
enum {
    kAttributeReadOnly = 0x01,
    kAttributeArchive = 0x20
};

// SZDD header of compressed entries.
enum {
    kSzddHeaderSize = 14,
    kSzddMethodA = 0x41
};
#define SZDD_MAGIC "SZDD\x88\xF0\x27\x33"

#endif
