#include "directory_tree.h"
#include "install_log.h"
#include "package_layout.h"
#include "text.h"

int GetPathAttributes(const char *path, DWORD *attributes)
{
    if (!path || !path[0] || !attributes)
        return 0;
    *attributes = GetFileAttributesA(path);
    return *attributes != INVALID_FILE_ATTRIBUTES;
}

int IsDirectory(const char *path)
{
    DWORD attributes;
    return GetPathAttributes(path, &attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies path into buffer without one trailing backslash; 0 when it does not fit.
static int CopyWithoutTrailingBackslash(char *buffer, const char *path)
{
    if (!CopyText(buffer, kPathBufferSize, path))
        return 0;
    if (EndsInBackslash(buffer))
        buffer[TextLength(buffer) - 1] = 0;
    return 1;
}

// Each level of the recursion keeps its own copy of its path. The recursion ends at
// the nearest existing ancestor at the latest at the drive designator, which
// GetFileAttributesA reports as the drive's current directory. Levels are separated
// by backslashes or slashes, as Windows separates them.
int CreateDirectoryTree(const char *path)
{
    if (!path || !path[0])
        return 1;
    char buffer[kPathBufferSize];
    // Refused before anything else: every level below must fit its buffer whole.
    if (!CopyWithoutTrailingBackslash(buffer, path))
        return 0;
    if (IsDirectory(path))
        return 1;

    // The parent first: the buffer cut at its last separator, which is put back after.
    char *lastSeparator = FindLastSeparator(buffer);
    if (lastSeparator) {
        char separator = *lastSeparator;
        *lastSeparator = 0;
        if (buffer[0] && !CreateDirectoryTree(buffer))
            return 0;
        *lastSeparator = separator;
    }
    // An empty last level (two separators in a row, or one at the end) names the
    // parent just made: it is there, and was logged when it was created.
    if (!CreateDirectoryA(buffer, 0))
        return IsDirectory(buffer);
    LogCreatedDirectory(buffer);
    return 1;
}
