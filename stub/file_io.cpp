#include "file_io.h"
#include "package_layout.h"
#include "text.h"

HANDLE OpenSharedFile(const char *path, DWORD access, DWORD disposition, DWORD attributes)
{
    return CreateFileA(path, access, FILE_SHARE_READ, 0, disposition, attributes, 0);
}

int ReadExactly(HANDLE file, void *buffer, DWORD count)
{
    DWORD done = 0;
    return ReadFile(file, buffer, count, &done, 0) && done == count;
}

int WriteExactly(HANDLE file, const void *buffer, DWORD count)
{
    DWORD done = 0;
    return WriteFile(file, buffer, count, &done, 0) && done == count;
}

int QueryWindowsDirectory(char *directory)
{
    UINT length = GetWindowsDirectoryA(directory, kPathBufferSize);
    return length != 0 && length < kPathBufferSize && AppendBackslash(directory, kPathBufferSize);
}
