// Bounded work on zero-terminated ANSI strings held in fixed buffers.
// Every function that writes takes the size of the destination buffer in bytes and
// refuses (returns 0, destination unchanged) what would not fit with its zero byte:
// a path is never cut short.
#ifndef VELMOR_COMMON_TEXT_H
#define VELMOR_COMMON_TEXT_H

// Next character of a string in the system's ANSI code page: steps over both bytes
// of a double-byte character. Never steps past the terminating zero byte.
const char *NextChar(const char *text);

int TextLength(const char *text);

// Copies source into dest. 1 on success, 0 when it does not fit.
int CopyText(char *dest, int destSize, const char *source);

// Appends source to the string in dest. 1 on success, 0 when it does not fit.
int AppendText(char *dest, int destSize, const char *source);

// Appends one backslash unless dest is empty or already ends in one.
int AppendBackslash(char *dest, int destSize);

// Copies directory into dest and appends name to it, with a backslash between the two
// unless directory is empty or already ends in one. 1 on success; 0 when the whole
// does not fit, and dest may then hold the part that did.
int JoinPath(char *dest, int destSize, const char *directory, const char *name);

// 1 when the last character (not byte) of text is a backslash.
int EndsInBackslash(const char *text);

// The last backslash of text, found character by character so that the second byte
// of a double-byte character is never taken for one; null when there is none.
char *FindLastBackslash(char *text);

// The same for the last backslash or slash, both of which Windows takes for the
// separator of a path's levels.
char *FindLastSeparator(char *text);

// Fills count bytes with zero.
void ClearBytes(void *dest, int count);

#endif
