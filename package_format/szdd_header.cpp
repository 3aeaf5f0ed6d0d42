#include "szdd_header.h"
#include "byte_order.h"

int ReadSzddHeader(const unsigned char *header, uint32_t *length)
{
    static const char magic[] = SZDD_MAGIC;
    for (int i = 0; i < kSzddMagicSize; ++i) {
        if (header[i] != static_cast<unsigned char>(magic[i]))
            return kSzddNotSzdd;
    }
    if (header[kSzddMethodOffset] != kSzddMethodA)
        return kSzddOtherMethod;
    *length = LoadLe32(header + kSzddLengthOffset);
    return kSzddHeaderRead;
}
