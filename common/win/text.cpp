#include "text.h"

int TextLength(const char *text)
{
    int length = 0;
    while (text[length])
        ++length;
    return length;
}

int CopyText(char *dest, int destSize, const char *source)
{
    int length = TextLength(source);
    if (length >= destSize)
        return 0;
    for (int i = 0; i <= length; ++i)
        dest[i] = source[i];
    return 1;
}

int AppendText(char *dest, int destSize, const char *source)
{
    int used = TextLength(dest);
    if (used >= destSize)
        return 0;
    return CopyText(dest + used, destSize - used, source);
}

int EndsInBackslash(const char *text)
{
    const char *last = 0;
    for (const char *p = text; *p; p = NextChar(p))
        last = p;
    return last && *last == '\\';
}

int AppendBackslash(char *dest, int destSize)
{
    if (!dest[0] || EndsInBackslash(dest))
        return 1;
    return AppendText(dest, destSize, "\\");
}

int JoinPath(char *dest, int destSize, const char *directory, const char *name)
{
    return CopyText(dest, destSize, directory) && AppendBackslash(dest, destSize) &&
           AppendText(dest, destSize, name);
}

static char *FindLastOf(char *text, char one, char other)
{
    char *found = 0;
    for (char *p = text; *p; p = const_cast<char *>(NextChar(p))) {
        if (*p == one || *p == other)
            found = p;
    }
    return found;
}

char *FindLastBackslash(char *text)
{
    return FindLastOf(text, '\\', '\\');
}

char *FindLastSeparator(char *text)
{
    return FindLastOf(text, '\\', '/');
}

void ClearBytes(void *dest, int count)
{
    unsigned char *d = static_cast<unsigned char *>(dest);
    for (int i = 0; i < count; ++i)
        d[i] = 0;
}
