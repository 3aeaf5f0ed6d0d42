// Making sure a directory exists, together with its missing parents, and recording in
// the install log each directory that the stub itself creates.
#ifndef VELMOR_DIRECTORY_TREE_H
#define VELMOR_DIRECTORY_TREE_H

#include <windows.h>

// Stores GetFileAttributesA of path in *attributes, also when that is 0xFFFFFFFF.
// 1 when the query succeeded; 0 when it failed, and without a query for a null or
// empty path or a null attributes pointer.
int GetPathAttributes(const char *path, DWORD *attributes);

// 1 when path names an existing directory (a trailing backslash is allowed, and a bare
// drive designator such as C: counts as one), 0 otherwise.
int IsDirectory(const char *path);

// Creates path and every missing directory above it, outermost first, and logs each
// one created (without its trailing backslash) with LogCreatedDirectory. Existing
// directories are neither created nor logged. 1 when path is null or empty or now
// exists as a directory; 0 when a creation failed (levels created before stay, and
// stay logged) or when path has more than 255 characters (nothing is created).
int CreateDirectoryTree(const char *path);

#endif
