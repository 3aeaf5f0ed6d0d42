#include "archive_reader.h"
#include "../../common/win/text.h"

// One ReadFile at the current position that must deliver exactly count bytes.
static int ReadExactly(HANDLE file, void *buffer, DWORD count)
{
    DWORD done = 0;
    return ReadFile(file, buffer, count, &done, 0) && done == count;
}

static int WriteExactly(HANDLE file, const void *buffer, DWORD count)
{
    DWORD done = 0;
    return WriteFile(file, buffer, count, &done, 0) && done == count;
}

// A text field of the trailer must end inside its own bytes.
static int HoldsZeroByte(const char *field, int size)
{
    for (int i = 0; i < size; ++i) {
        if (!field[i])
            return 1;
    }
    return 0;
}

int ReadTrailer(HANDLE archive, ArchiveTrailer *trailer)
{
    if (archive == INVALID_HANDLE_VALUE || !trailer)
        return 0;
    DWORD size = GetFileSize(archive, 0);
    if (size == INVALID_FILE_SIZE || size <= kTrailerSize)
        return 0;
    if (SetFilePointer(archive, static_cast<LONG>(size - kTrailerSize), 0, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER)
        return 0;
    if (!ReadExactly(archive, trailer, kTrailerSize))
        return 0;
    if (lstrcmpA(trailer->signature, ARCHIVE_SIGNATURE) != 0)
        return 0;
    return HoldsZeroByte(trailer->setupProgram, kSetupProgramSize) &&
           HoldsZeroByte(trailer->defaultFolder, kDefaultFolderSize) &&
           HoldsZeroByte(trailer->description, kDescriptionSize);
}

// Reads a stored name length and the name into a field of kMaxNameLength bytes that
// is all zero beforehand. A length the field cannot hold, or a full-size name whose
// last byte is not its terminator, is refused.
static int ReadName(HANDLE archive, char *field, WORD length)
{
    if (length > kMaxNameLength)
        return 0;
    if (length && !ReadExactly(archive, field, length))
        return 0;
    return field[kMaxNameLength - 1] == 0;
}

int ReadEntryRecord(HANDLE archive, EntryRecord *record)
{
    if (archive == INVALID_HANDLE_VALUE || !record)
        return 0;
    ClearBytes(record, sizeof *record);

    WORD length = 0;
    if (!ReadExactly(archive, &length, sizeof length) ||
        !ReadName(archive, record->directoryName, length))
        return 0;
    if (!ReadExactly(archive, &length, sizeof length) || length == 0 ||
        !ReadName(archive, record->fileName, length))
        return 0;
    return ReadExactly(archive, &record->attributes, 4) &&
           ReadExactly(archive, &record->creationTime, 8) &&
           ReadExactly(archive, &record->lastAccessTime, 8) &&
           ReadExactly(archive, &record->lastWriteTime, 8) &&
           ReadExactly(archive, &record->dataSize, 4);
}

static void *AllocatePages(DWORD size)
{
    return VirtualAlloc(0, size, MEM_COMMIT, PAGE_READWRITE);
}

int CopyToNewFile(HANDLE archive, const char *path, DWORD byteCount)
{
    return CopyToNewFileWith(archive, path, byteCount, AllocatePages);
}

int CopyToNewFileWith(HANDLE archive, const char *path, DWORD byteCount,
                      CopyBufferAllocator allocate)
{
    if (archive == INVALID_HANDLE_VALUE || !path || !path[0])
        return 0;
    HANDLE target = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (target == INVALID_HANDLE_VALUE)
        return 0;

    int result = 1;
    void *buffer = 0;
    DWORD chunk = byteCount;
    if (byteCount) {
        // Ask for the whole entry first; halve on every refusal, down to one byte.
        while (chunk && !(buffer = allocate(chunk)))
            chunk >>= 1;
        if (!buffer) {
            result = 0;
        } else {
            DWORD remaining = byteCount;
            while (remaining) {
                if (!ReadExactly(archive, buffer, chunk) ||
                    !WriteExactly(target, buffer, chunk)) {
                    result = 0;
                    break;
                }
                remaining -= chunk;
                if (remaining < chunk)
                    chunk = remaining;
            }
        }
    }
    CloseHandle(target);
    if (buffer)
        VirtualFree(buffer, 0, MEM_RELEASE);
    return result;
}
