// The checks that make the last 1052 bytes of a file a trailer the stub accepts.
#ifndef VELMOR_TRAILER_CHECK_H
#define VELMOR_TRAILER_CHECK_H

#include "package_layout.h"

// 1 when the signature is ARCHIVE_SIGNATURE and the zero byte behind it, compared byte for
// byte: no letter case, locale or code page takes part. The tenth byte is not looked at.
int SignatureMatches(const ArchiveTrailer *trailer);

// 1 when a text field of size bytes holds a zero byte, so that its text ends inside it.
int FieldHoldsZeroByte(const char *field, int size);

// 1 when the signature matches and each of the three text fields holds its zero byte.
int TrailerAccepted(const ArchiveTrailer *trailer);

#endif
