// The character step of text.h through the system's own knowledge of its code page.
#include <windows.h>
#include "text.h"

const char *NextChar(const char *text)
{
    return CharNextA(text);
}
