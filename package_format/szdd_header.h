// The header of an SZDD file, the form of every entry's data in a compressed archive.
#ifndef VELMOR_SZDD_HEADER_H
#define VELMOR_SZDD_HEADER_H

#include "package_layout.h"

// Results of ReadSzddHeader.
enum SzddHeaderResult {
    kSzddNotSzdd = 0,     // the magic bytes are not there
    kSzddHeaderRead = 1,  // *length holds the expanded file's length
    kSzddOtherMethod      // an SZDD file of a method other than 'A'
};

// Reads kSzddHeaderSize bytes of header.
int ReadSzddHeader(const unsigned char *header, uint32_t *length);

#endif
