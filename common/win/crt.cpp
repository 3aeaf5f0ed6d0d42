// The two functions that the compiler emits calls to on its own (structure copies and
// clears), for programs linked without the C runtime.
#include <stddef.h>

extern "C" void *memset(void *dest, int value, size_t count)
{
    unsigned char *d = static_cast<unsigned char *>(dest);
    while (count--)
        *d++ = static_cast<unsigned char>(value);
    return dest;
}

extern "C" void *memcpy(void *dest, const void *src, size_t count)
{
    unsigned char *d = static_cast<unsigned char *>(dest);
    const unsigned char *s = static_cast<const unsigned char *>(src);
    while (count--)
        *d++ = *s++;
    return dest;
}
