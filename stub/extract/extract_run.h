// The extraction run: every entry of the archive, in order, into the destination
// folder (g_stub.trailer.defaultFolder), re-creating its directory, expanding SZDD data
// when the archive is compressed, and restoring time stamps and attributes.
#ifndef VELMOR_EXTRACT_RUN_H
#define VELMOR_EXTRACT_RUN_H

#include <windows.h>
#include "name_rule.h"

// How the run meets the user interface. It calls the three in this order once per
// entry, right after the entry's record has been read and before anything is done
// for the entry. context is handed to each of them unchanged.
//
// The progress dialog binds them to itself: entryStarted shows the file name and sets
// the progress bar to index, dispatchPendingMessages pumps the thread's messages,
// cancelRequested reads the stub state's cancel flag. Tests bind them to plain
// functions and run without any window. All three must be set.
struct ExtractHooks {
    void (*entryStarted)(void *context, DWORD index, const char *fileName);
    void (*dispatchPendingMessages)(void *context);
    int (*cancelRequested)(void *context);  // nonzero: stop the run
    void *context;
};

// Reads on from the archive's current position (start-up leaves it at the first
// record). 1 when all entryCount entries were extracted, also for 0 entries; 0 at the
// first failure or cancel, with the entries before it left in place.
//
// The data area ends where the trailer begins: a record that reaches into the
// trailer fails the run before the entry starts, and data that does (also data cut
// short by the end of the file) fails the run at that entry before its file is
// touched, so that an earlier version of the file stays.
//
// An entry whose writing fails once its target was created or emptied (a full disk,
// a read error) has its target deleted: a failed entry never leaves a partly written
// file. A target that cannot be replaced (read-only, or held open by another program)
// fails the run and keeps its contents.
//
// A name that NameStaysInside refuses (a directory name that would leave the
// destination folder, a file name with a path in it), and a target path over 255
// characters, fail the run at that entry before anything is created or logged for it.
//
// Compressed archives pass each entry through g_stub.tempCompressedPath and
// g_stub.tempExpandedPath, which the run sets to the Windows directory followed by
// QXTEMP.CMP and QXTEMP.EXP. Both are deleted after every compressed entry, also when
// copying into the first, the expansion or copying the expanded file onto the target
// fails; each of these fails the run. So does data that is no SZDD file, or whose
// expansion is not as long as its header promises: the target is then never written.
int ExtractAll(const ExtractHooks *hooks);

// The character step of the name rule in the system's ANSI code page.
void InitAnsiCharStep(CharStep *step);

// Expands the SZDD file sourceDirectory + sourceName into destinationDirectory +
// destinationName through VerInstallFileA, replacing a file of that name regardless
// of version information; the source stays. Both directories may end in a
// backslash. 1 on success.
int ExpandCompressedFile(const char *sourceDirectory, const char *sourceName,
                         const char *destinationDirectory, const char *destinationName);

#endif
