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
//
// A log of that name may already be there: left by a run that never reached its exit
// step, perhaps of another package of the same file name, or a file of some other
// program. The stub acts only on the keys that its own process wrote (stub_state.h
// keeps their numbers), so it never removes what another run extracted, and it
// leaves every other section of the file alone.
#ifndef VELMOR_INSTALL_LOG_H
#define VELMOR_INSTALL_LOG_H

#include <windows.h>

// Records a directory that has just been created: Path (Count + 1), then Count + 1.
// Count is read back from the file each time, so numbering continues a log that an
// earlier run or process left behind, whose keys stay as they are. Write results are
// not looked at.
void LogCreatedDirectory(const char *path);

// Records the target path of entry index (1-based) under File index, replacing an
// earlier value of that key.
void LogExtractedFile(DWORD index, const char *targetPath);

// Called with one value of the log; path is valid during the call only.
typedef void (*LogPathVisitor)(const char *path, void *context);

// Visits File 1, File 2, ... up to the highest file key this process wrote, in
// ascending order, and stops at the first missing or empty value. Both walks pass
// over a value of more than 255 characters, which no run writes: it is never acted
// on, whole or cut short.
void WalkExtractedFiles(LogPathVisitor visit, void *context);

// Visits the path keys this process wrote, the last one first, so that every
// directory comes before its parent; stops at the first missing or empty value.
void WalkCreatedDirectories(LogPathVisitor visit, void *context);

// The exit step: when this process wrote to the log, removes the log's two sections,
// and then the file itself when no section of another program is left in it. A log
// this process never wrote to is left as it is.
void RemoveInstallLog();

#endif
