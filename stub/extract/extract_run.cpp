#include "extract_run.h"
#include "directory_tree.h"
#include "file_io.h"
#include "install_log.h"
#include "stub_state.h"
#include "archive_reader.h"
#include "name_rule.h"
#include "szdd_header.h"
#include "text.h"

static const char kTempCompressedName[] = "QXTEMP.CMP";
static const char kTempExpandedName[] = "QXTEMP.EXP";

// Names are stepped through by the system's own knowledge of its code page.
static const char *NextAnsiChar(const char *text, void *)
{
    if (IsDBCSLeadByte(static_cast<BYTE>(text[0])) && !text[1])
        return 0;
    return NextChar(text);
}

// Whether the name comes back byte for byte from the system's conversion to Unicode
// and back, which is what the file system is given.
static int IsAnsiText(const char *name, void *)
{
    WCHAR wide[kPathBufferSize];
    char back[2 * kPathBufferSize];
    int units = MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kPathBufferSize);
    int length = units ? WideCharToMultiByte(CP_ACP, 0, wide, units, back, sizeof back, 0, 0) : 0;
    for (int i = 0; i < length; ++i) {
        if (back[i] != name[i])
            return 0;
    }
    return length != 0;
}

void InitAnsiCharStep(CharStep *step)
{
    WCHAR wide[3];
    step->next = NextAnsiChar;
    step->isText = IsAnsiText;
    step->context = 0;
    step->superscriptDigits = MultiByteToWideChar(CP_ACP, 0, "\xB9\xB2\xB3", 3, wide, 3) == 3 &&
                              wide[0] == 0xB9 && wide[1] == 0xB2 && wide[2] == 0xB3;
}

// The temporary files of compressed entries, in the Windows directory. 0 when a
// path would not fit.
static int PrepareTemporaryPaths()
{
    return JoinPath(g_stub.tempCompressedPath, kPathBufferSize, g_stub.windowsDirectory,
                    kTempCompressedName) &&
           JoinPath(g_stub.tempExpandedPath, kPathBufferSize, g_stub.windowsDirectory,
                    kTempExpandedName);
}

// Destination folder, current entry directory and file name, each joined with one
// backslash; the directory path is the target path without the file name. 0 when the
// target path would exceed 255 characters.
static int BuildEntryPaths(const char *currentDirectory, const char *fileName,
                           char *directoryPath, char *targetPath)
{
    return JoinPath(directoryPath, kPathBufferSize, g_stub.trailer.defaultFolder,
                    currentDirectory) &&
           AppendBackslash(directoryPath, kPathBufferSize) &&
           JoinPath(targetPath, kPathBufferSize, directoryPath, fileName);
}

// Copies the temporary expanded file onto the target when it holds exactly length
// bytes. CopyToNewFile removes a target that it leaves incomplete, which CopyFileA
// does not do on every system.
static int CopyExpandedFile(const char *targetPath, DWORD length)
{
    HANDLE expanded = OpenSharedFile(g_stub.tempExpandedPath, GENERIC_READ, OPEN_EXISTING, 0);
    if (expanded == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = GetFileSize(expanded, 0);
    int copied = size != INVALID_FILE_SIZE && size == length &&
                 CopyToNewFile(expanded, targetPath, length);
    CloseHandle(expanded);
    return copied;
}

// The expanded length that the SZDD header of the temporary compressed file promises;
// 0 when it is no SZDD file.
static int PromisedLength(DWORD *length)
{
    unsigned char header[kSzddHeaderSize];
    HANDLE file = OpenSharedFile(g_stub.tempCompressedPath, GENERIC_READ, OPEN_EXISTING, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int read = ReadExactly(file, header, sizeof header);
    CloseHandle(file);
    uint32_t promised = 0;
    if (!read || ReadSzddHeader(header, &promised) != kSzddHeaderRead)
        return 0;
    *length = promised;
    return 1;
}

// The compressed entry goes to the temporary compressed file, is expanded into the
// temporary expanded file and copied onto the target. Both temporary files are
// deleted whatever happens.
static int WriteCompressedEntry(const EntryRecord *record, const char *targetPath)
{
    // The expansion does not check the length: data cut short expands to less.
    DWORD promised = 0;
    int written = CopyToNewFile(g_stub.archive, g_stub.tempCompressedPath, record->dataSize) &&
                  PromisedLength(&promised) &&
                  ExpandCompressedFile(g_stub.windowsDirectory, kTempCompressedName,
                                       g_stub.windowsDirectory, kTempExpandedName) &&
                  CopyExpandedFile(targetPath, promised);
    DeleteFileA(g_stub.tempCompressedPath);
    DeleteFileA(g_stub.tempExpandedPath);
    return written;
}

// Times first: a read-only entry is still writable while its times are set. Each
// time is set on its own, so that one the system refuses (out of its range) does not
// cost the others.
static void RestoreTimesAndAttributes(const EntryRecord *record, const char *targetPath)
{
    HANDLE file = OpenSharedFile(targetPath, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL);
    if (file != INVALID_HANDLE_VALUE) {
        const StoredFileTime *stored[3] = {&record->creationTime, &record->lastAccessTime,
                                           &record->lastWriteTime};
        for (int i = 0; i < 3; ++i) {
            FILETIME time;
            time.dwLowDateTime = stored[i]->low;
            time.dwHighDateTime = stored[i]->high;
            const FILETIME *slots[3] = {0, 0, 0};
            slots[i] = &time;
            SetFileTime(file, slots[0], slots[1], slots[2]);
        }
        CloseHandle(file);
    }
    SetFileAttributesA(targetPath, record->attributes);
}

// CreateFileA refuses to replace a read-only file, and a hidden or system file unless
// asked for the same attributes: an earlier extraction of the same package leaves
// such files. Those bits of an existing file (never of a folder) are cleared before
// it is replaced; the entry's own attributes are set once its data is written.
static void MakeReplaceable(const char *targetPath)
{
    const DWORD refusing = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    DWORD attributes;
    if (GetPathAttributes(targetPath, &attributes) && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (attributes & refusing)) {
        attributes &= ~refusing;
        SetFileAttributesA(targetPath, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    }
}

// Everything for one entry after its record has been read and the hooks have run.
// currentDirectory carries the directory of the nearest earlier entry that named one;
// areaLeft counts the bytes between the entry's first data byte and the trailer.
static int ExtractEntry(DWORD index, const EntryRecord *record, char *currentDirectory,
                        DWORD areaLeft, const CharStep *names)
{
    if (!NameStaysInside(record->fileName, kFileNameForm, names))
        return 0;
    if (record->directoryName[0]) {
        if (!NameStaysInside(record->directoryName, kPathForm, names))
            return 0;
        CopyText(currentDirectory, kPathBufferSize, record->directoryName);
    }
    char directoryPath[kPathBufferSize];
    char targetPath[kPathBufferSize];
    if (!BuildEntryPaths(currentDirectory, record->fileName, directoryPath, targetPath))
        return 0;
    // Without a current entry directory the destination folder, created at the start
    // of the run, is the directory.
    if (currentDirectory[0] && !CreateDirectoryTree(directoryPath))
        return 0;
    if (g_stub.trailer.mode == kModeSetup)
        LogExtractedFile(index, targetPath);

    // Data that runs into the trailer, or past the end of a file cut short, fails the
    // entry before its target or a temporary file is touched: a previous version of
    // the file stays as it was.
    if (record->dataSize > areaLeft)
        return 0;
    MakeReplaceable(targetPath);
    int written = g_stub.trailer.compressed
                      ? WriteCompressedEntry(record, targetPath)
                      : CopyToNewFile(g_stub.archive, targetPath, record->dataSize);
    if (!written)
        return 0;
    RestoreTimesAndAttributes(record, targetPath);
    return 1;
}

int ExtractAll(const ExtractHooks *hooks)
{
    // An empty folder would put every file below the process's current directory.
    if (!g_stub.trailer.defaultFolder[0] || !PrepareTemporaryPaths() ||
        !CreateDirectoryTree(g_stub.trailer.defaultFolder))
        return 0;
    // The data area ends where the trailer begins: a damaged package must not have
    // trailer bytes taken for a record or for an entry's data.
    DWORD fileSize = GetFileSize(g_stub.archive, 0);
    const DWORD dataEnd =
        fileSize != INVALID_FILE_SIZE && fileSize > kTrailerSize ? fileSize - kTrailerSize : 0;
    char currentDirectory[kPathBufferSize];
    currentDirectory[0] = 0;
    CharStep names;
    InitAnsiCharStep(&names);
    EntryRecord record;
    for (DWORD done = 0; done < g_stub.trailer.entryCount; ++done) {
        if (!ReadEntryRecord(g_stub.archive, &record))
            return 0;
        DWORD position = SetFilePointer(g_stub.archive, 0, 0, FILE_CURRENT);
        if (position == INVALID_SET_FILE_POINTER || position > dataEnd)
            return 0;
        hooks->entryStarted(hooks->context, done + 1, record.fileName);
        hooks->dispatchPendingMessages(hooks->context);
        // A cancel stops the run before anything is done for the entry just read.
        if (hooks->cancelRequested(hooks->context))
            return 0;
        if (!ExtractEntry(done + 1, &record, currentDirectory, dataEnd - position, &names))
            return 0;
    }
    return 1;
}

int ExpandCompressedFile(const char *sourceDirectory, const char *sourceName,
                         const char *destinationDirectory, const char *destinationName)
{
    // Room for the name of a temporary file that VerInstallFileA reports; not used.
    char temporaryName[kPathBufferSize];
    ClearBytes(temporaryName, sizeof temporaryName);
    UINT temporaryNameSize = sizeof temporaryName;
    // The API takes writable pointers but only reads the names.
    return VerInstallFileA(VIFF_FORCEINSTALL, const_cast<char *>(sourceName),
                           const_cast<char *>(destinationName),
                           const_cast<char *>(sourceDirectory),
                           const_cast<char *>(destinationDirectory),
                           const_cast<char *>(destinationDirectory), temporaryName,
                           &temporaryNameSize) == 0;
}
