// The one record through which every part of the stub shares its data. It lives for
// the whole process.
#ifndef VELMOR_STUB_STATE_H
#define VELMOR_STUB_STATE_H

#include <windows.h>
#include "package_layout.h"

struct StubState {
    HANDLE archive;                 // the stub's own file; INVALID_HANDLE_VALUE until opened
    ArchiveTrailer trailer;         // as read; defaultFolder holds the destination folder
    HINSTANCE instance;
    char stubDirectory[kPathBufferSize];   // ends in a backslash
    char stubFileName[kPathBufferSize];    // name and extension, no directory
    char installLogPath[kPathBufferSize];
    char windowsDirectory[kPathBufferSize]; // ends in a backslash
    LONG cancelRequested;           // set by the progress dialog's Cancel
    LONG jobUnderWay;               // set from a confirm until its job has ended
    char tempCompressedPath[kPathBufferSize];
    char tempExpandedPath[kPathBufferSize];
    // What this process wrote into the install log, the only keys its clean-up and
    // exit step act on: File 1 to File loggedFiles, and Path firstLoggedDirectory to
    // Path lastLoggedDirectory (0 and 0 when it created none).
    DWORD loggedFiles;
    int firstLoggedDirectory;
    int lastLoggedDirectory;
};

extern StubState g_stub;

// Puts the record in its load state: all zero, no archive file open.
void ResetStubState();

#endif
