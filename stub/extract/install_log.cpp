#include "install_log.h"
#include "stub_state.h"
#include "text.h"

static const char kDirectorySection[] = "Directory List";
static const char kFileSection[] = "Extract Files List";
static const char kCountKey[] = "Count";
static const char kPathKey[] = "Path %d";
static const char kFileKey[] = "File %d";

enum {
    kKeySize = 32,          // "Path " or "File " and a 32-bit number
    kReadBufferSize = 512   // a value read back holds at most 511 characters
};

// A value that a 256-byte path buffer could not hold lies outside the log's contract.
static int FitsPathBuffer(const char *value)
{
    return value && TextLength(value) < kPathBufferSize;
}

static int ReadDirectoryCount()
{
    return static_cast<int>(
        GetPrivateProfileIntA(kDirectorySection, kCountKey, 0, g_stub.installLogPath));
}

// Writes value under the key that format makes of number.
static void WriteNumberedValue(const char *section, const char *format, int number,
                               const char *value)
{
    char key[kKeySize];
    wsprintfA(key, format, number);
    WritePrivateProfileStringA(section, key, value, g_stub.installLogPath);
}

void LogCreatedDirectory(const char *path)
{
    if (!FitsPathBuffer(path))
        return;
    int next = ReadDirectoryCount() + 1;
    // The path goes in before the count: a stop between the two writes leaves a key
    // that the walk never reaches and the next append overwrites.
    WriteNumberedValue(kDirectorySection, kPathKey, next, path);
    if (!g_stub.firstLoggedDirectory)
        g_stub.firstLoggedDirectory = next;
    g_stub.lastLoggedDirectory = next;
    char count[kKeySize];
    wsprintfA(count, "%d", next);
    WritePrivateProfileStringA(kDirectorySection, kCountKey, count, g_stub.installLogPath);
}

void LogExtractedFile(DWORD index, const char *targetPath)
{
    if (!FitsPathBuffer(targetPath))
        return;
    WriteNumberedValue(kFileSection, kFileKey, static_cast<int>(index), targetPath);
    if (index > g_stub.loggedFiles)
        g_stub.loggedFiles = index;
}

// Reads one numbered value; 0 when it is missing or empty, which ends a walk.
static int ReadNumberedValue(const char *section, const char *format, int number,
                             char *value)
{
    char key[kKeySize];
    wsprintfA(key, format, number);
    return GetPrivateProfileStringA(section, key, "", value, kReadBufferSize,
                                    g_stub.installLogPath) != 0 &&
           value[0] != 0;
}

// Visits the values numbered first, first + step, ... up to last, and stops early at
// the first missing or empty one. Numbers below 1 are never read.
static void WalkNumberedValues(const char *section, const char *format, int first, int last,
                               int step, LogPathVisitor visit, void *context)
{
    char value[kReadBufferSize];
    for (int k = first; k > 0 && (last - k) * step >= 0 && ReadNumberedValue(section, format, k, value);
         k += step) {
        if (FitsPathBuffer(value))
            visit(value, context);
    }
}

void WalkExtractedFiles(LogPathVisitor visit, void *context)
{
    WalkNumberedValues(kFileSection, kFileKey, 1, static_cast<int>(g_stub.loggedFiles), 1, visit,
                       context);
}

void WalkCreatedDirectories(LogPathVisitor visit, void *context)
{
    WalkNumberedValues(kDirectorySection, kPathKey, g_stub.lastLoggedDirectory,
                       g_stub.firstLoggedDirectory, -1, visit, context);
}

void RemoveInstallLog()
{
    if (!g_stub.loggedFiles && !g_stub.lastLoggedDirectory)
        return;
    const char *log = g_stub.installLogPath;
    WritePrivateProfileStringA(kFileSection, 0, 0, log);
    WritePrivateProfileStringA(kDirectorySection, 0, 0, log);
    // A buffer too small for the names still gives a nonzero count.
    char names[4];
    if (GetPrivateProfileSectionNamesA(names, sizeof names, log) != 0)
        return;
    // The 95 family keeps profile files in a cache: it is written out before the file
    // goes, so that it cannot come back.
    WritePrivateProfileStringA(0, 0, 0, log);
    DeleteFileA(log);
}
