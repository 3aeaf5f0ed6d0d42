#include "trailer_check.h"

int SignatureMatches(const ArchiveTrailer *trailer)
{
    static const char expected[kSignatureCheckedSize] = ARCHIVE_SIGNATURE;
    for (int i = 0; i < kSignatureCheckedSize; ++i) {
        if (trailer->signature[i] != expected[i])
            return 0;
    }
    return 1;
}

int FieldHoldsZeroByte(const char *field, int size)
{
    for (int i = 0; i < size; ++i) {
        if (!field[i])
            return 1;
    }
    return 0;
}

int TrailerAccepted(const ArchiveTrailer *trailer)
{
    return SignatureMatches(trailer) &&
           FieldHoldsZeroByte(trailer->setupProgram, kSetupProgramSize) &&
           FieldHoldsZeroByte(trailer->defaultFolder, kDefaultFolderSize) &&
           FieldHoldsZeroByte(trailer->description, kDescriptionSize);
}
