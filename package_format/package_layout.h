// The package: a stub program with an archive appended to it. This is the one
// definition of its layout, shared by the stub (which reads it) and the packer
// (which writes, lists, verifies and extracts it).
//
//   [executable image][entry record + data] ... [entry record + data][trailer, 1052 bytes]
//
// All integers are little-endian and unaligned (byte_order.h reads and writes them);
// all text is ANSI, zero-terminated.
#ifndef VELMOR_PACKAGE_LAYOUT_H
#define VELMOR_PACKAGE_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

// The trailer's first bytes, up to and including the zero byte behind them.
#define ARCHIVE_SIGNATURE "QX-V1.10"

// Folder the stub proposes when the archive names none and the stub does not lie on
// a fixed disk; the packer checks path lengths against it when no folder is given.
#define FALLBACK_FOLDER "C:\\QXTemp"

enum {
    kTrailerSize = 1052,
    kSignatureSize = 10,
    kSignatureCheckedSize = 9, // the eight characters and the zero byte behind them
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
    char signature[kSignatureSize];      // ARCHIVE_SIGNATURE and zero bytes
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
    kAttributeHidden = 0x02,
    kAttributeSystem = 0x04,
    kAttributeArchive = 0x20
};

// The header of an SZDD file, the form of every entry's data in a compressed archive:
// magic, method 'A', the replaced last character of the name (0), expanded length.
enum {
    kSzddMagicSize = 8,
    kSzddMethodOffset = 8,
    kSzddMethodA = 0x41,
    kSzddMissingCharOffset = 9,
    kSzddLengthOffset = 10,
    kSzddHeaderSize = 14
};
#define SZDD_MAGIC "SZDD\x88\xF0\x27\x33"

#endif
