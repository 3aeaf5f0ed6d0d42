// The install log: the INI file in the Windows directory through which the extraction
// tells the clean-up what it created. Every access goes through the profile-string
// functions with g_stub.installLogPath as the file.
//
//   [Directory List]      Path 1 .. Path Count, each directory the stub created,
//                         numbered in the order of creation; Count
//   [Extract Files List]  File i, the target path of entry i (setup mode only)
//
// Values longer than 255 characters are never written: the readers' counterparts in
// the stub hold 256-byte paths.
#ifndef VELMOR_INSTALL_LOG_H
#define VELMOR_INSTALL_LOG_H

#include <windows.h>

// Records a directory that has just been created: Path (Count + 1), then Count + 1.
// Count is read back from the file each time, so numbering continues a log that an
// earlier run or process left behind. Write results are not looked at.
void LogCreatedDirectory(const char *path);

// Records the target path of entry index (1-based) under File index, replacing an
// earlier value of that key.
void LogExtractedFile(DWORD index, const char *targetPath);

// Called with one value of the log; path is valid during the call only.
typedef void (*LogPathVisitor)(const char *path, void *context);

// Visits File 1, File 2, ... in ascending order, up to the first missing or empty
// value. Both walks pass over a value of more than 255 characters, which no run
// writes: it is never acted on, whole or cut short.
void WalkExtractedFiles(LogPathVisitor visit, void *context);

// Visits Path Count, Path Count - 1, ... Path 1, so that every directory comes before
// its parent; stops at the first missing or empty value.
void WalkCreatedDirectories(LogPathVisitor visit, void *context);

#endif
