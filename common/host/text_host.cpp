// The character step of text.h for host builds, which work in single-byte code pages.
#include "text.h"

const char *NextChar(const char *text)
{
    return *text ? text + 1 : text;
}
