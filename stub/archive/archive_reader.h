// Reading the archive from the stub's own file, strictly in order: the trailer once,
// then for each entry its record and then exactly its data.
// Every function returns 1 on success and 0 on failure, and refuses a handle of
// INVALID_HANDLE_VALUE.
#ifndef VELMOR_ARCHIVE_READER_H
#define VELMOR_ARCHIVE_READER_H

#include <windows.h>
#include "entry_record.h"

// Reads the last 1052 bytes of the file into trailer and checks them (TrailerAccepted:
// the signature byte for byte, and a zero byte inside each of the three text fields).
// Leaves the file position at the end of the file.
int ReadTrailer(HANDLE archive, ArchiveTrailer *trailer);

// Reads the next entry record at the current file position into record (cleared
// first) and leaves the position at the entry's first data byte. Fails on a short
// read, a file name length of 0, and a name the fields cannot hold (DecodeEntryRecord).
int ReadEntryRecord(HANDLE archive, EntryRecord *record);

// The allocation CopyToNewFile takes its buffer from; null when the size cannot be
// had. The buffer is released with VirtualFree(MEM_RELEASE).
typedef void *(*CopyBufferAllocator)(DWORD size);

// Creates (or empties) the file at path and copies the next byteCount bytes of
// source (the archive, or any file open for reading) into it, with one buffer of the
// full size when it can be had and with buffers of half the size each time an
// allocation fails. A failure once the file was created (no buffer, a short read, a
// short write such as on a full disk) deletes it: no empty or partly written file
// stays. A path that cannot be created or emptied is left as it was.
int CopyToNewFile(HANDLE source, const char *path, DWORD byteCount);
int CopyToNewFileWith(HANDLE source, const char *path, DWORD byteCount,
                      CopyBufferAllocator allocate);

#endif
