// What makes a program the velmor stub, and the PE headers it is found through.
//
// The stub says what it is in its version resource: in StringFileInfo, the string
// STUB_MARKER_KEY holds the archive signature of the packages it reads (velmor.rc
// writes it from these macros). The packer packs behind no other program, and a
// package behind any other is reported: that program would never extract it.
// Signing changes the PE checksum and the security directory, and appends the
// certificate table; the resources stay where they are.
#ifndef VELMOR_STUB_MARKER_H
#define VELMOR_STUB_MARKER_H

#include "package_layout.h"

#define STUB_MARKER_KEY "ArchiveFormat"
#define STUB_MARKER_VALUE ARCHIVE_SIGNATURE
// The ProductName and InternalName of every stub: those made before the marker are
// known by these alone (the launcher shares the product name), as they all read the
// packages of STUB_MARKER_VALUE.
#define STUB_PRODUCT_NAME "velmor setup kit"
#define STUB_INTERNAL_NAME "velmor"

// A program's image as the caller reads it: count bytes at offset into buffer; 0
// when they do not all lie inside the image.
struct ImageReader {
    int (*read)(void *context, uint32_t offset, void *buffer, uint32_t count);
    void *context;
};

// Where the headers of a PE program lie: file offsets, counts as far as the headers
// hold them.
struct PeHeaders {
    uint32_t optionalHeader;  // the optional header
    uint16_t magic;           // kPe32Magic or kPe32PlusMagic
    uint32_t directories;     // the first data directory
    uint32_t directoryCount;  // NumberOfRvaAndSizes, at most what SizeOfOptionalHeader holds
    uint32_t sectionTable;
    uint32_t sectionCount;
};

enum {
    kPe32Magic = 0x10B,
    kPe32PlusMagic = 0x20B,
    kPeChecksumOffset = 64,   // in the optional header, the same in both forms
    kPeDirectoryEntrySize = 8,
    kPeResourceDirectory = 2,
    kPeSecurityDirectory = 4
};

// 1 when the image begins with a PE program (PE32 or PE32+); headers then says where
// its parts lie.
int LocatePeHeaders(const ImageReader *image, PeHeaders *headers);

// 1 when the image is a PE program whose version resource (the first of type 16)
// holds, in a string table of its StringFileInfo, the string STUB_MARKER_KEY with
// the text STUB_MARKER_VALUE, or no STUB_MARKER_KEY but the ProductName
// STUB_PRODUCT_NAME and the InternalName STUB_INTERNAL_NAME (a stub made before the
// marker).
int CarriesStubMarker(const ImageReader *image);

#endif
