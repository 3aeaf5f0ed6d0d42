// Little-endian integers at any byte address, the way every integer of the package
// and of an SZDD header is stored, whatever the byte order of the machine.
#ifndef VELMOR_BYTE_ORDER_H
#define VELMOR_BYTE_ORDER_H

#include <stdint.h>

inline uint16_t LoadLe16(const unsigned char *at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t LoadLe32(const unsigned char *at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

inline void StoreLe16(unsigned char *at, uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

inline void StoreLe32(unsigned char *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

#endif
