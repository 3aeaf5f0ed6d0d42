// File access as every part of the stub does it. Every file the stub opens may be
// read by other processes meanwhile, but not written.
#ifndef VELMOR_FILE_IO_H
#define VELMOR_FILE_IO_H

#include <windows.h>

// CreateFileA with share mode FILE_SHARE_READ, no security attributes and no
// template; INVALID_HANDLE_VALUE when it fails.
HANDLE OpenSharedFile(const char *path, DWORD access, DWORD disposition, DWORD attributes);

// One ReadFile (WriteFile) at the current position: 1 when exactly count bytes were
// read (written), 0 otherwise.
int ReadExactly(HANDLE file, void *buffer, DWORD count);
int WriteExactly(HANDLE file, const void *buffer, DWORD count);

// The Windows directory, ending in a backslash, in a buffer of kPathBufferSize bytes:
// the home of the install log, the temporary files and WinInit.INI. 0 when it cannot
// be had or does not fit.
int QueryWindowsDirectory(char *directory);

#endif
