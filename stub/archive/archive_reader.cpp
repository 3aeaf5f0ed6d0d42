#include "archive_reader.h"
#include "file_io.h"
#include "trailer_check.h"

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
    return ReadExactly(archive, trailer, kTrailerSize) && TrailerAccepted(trailer);
}

// Each part of a record is one ReadFile at the current position.
static int ReadRecordPart(void *archive, void *buffer, uint32_t count, int)
{
    return ReadExactly(static_cast<HANDLE>(archive), buffer, count);
}

int ReadEntryRecord(HANDLE archive, EntryRecord *record)
{
    if (archive == INVALID_HANDLE_VALUE || !record)
        return 0;
    return DecodeEntryRecord(ReadRecordPart, archive, record) == kRecordRead;
}

static void *AllocatePages(DWORD size)
{
    return VirtualAlloc(0, size, MEM_COMMIT, PAGE_READWRITE);
}

int CopyToNewFile(HANDLE source, const char *path, DWORD byteCount)
{
    return CopyToNewFileWith(source, path, byteCount, AllocatePages);
}

int CopyToNewFileWith(HANDLE source, const char *path, DWORD byteCount,
                      CopyBufferAllocator allocate)
{
    if (source == INVALID_HANDLE_VALUE || !path || !path[0])
        return 0;
    HANDLE target =
        OpenSharedFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
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
                if (!ReadExactly(source, buffer, chunk) ||
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
    // The file is deleted only once closed: the open handle shares no deletion. What
    // stood at path before is gone already, emptied by CREATE_ALWAYS.
    CloseHandle(target);
    if (!result)
        DeleteFileA(path);
    if (buffer)
        VirtualFree(buffer, 0, MEM_RELEASE);
    return result;
}
