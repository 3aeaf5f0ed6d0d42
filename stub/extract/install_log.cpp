#include "install_log.h"
#include "stub_state.h"
#include "text.h"

static const char kDirectorySection[] = "Directory List";
static const char kFileSection[] = "Extract Files List";
static const char kCountKey[] = "Count";

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

void LogCreatedDirectory(const char *path)
{
    if (!FitsPathBuffer(path))
        return;
    int next = ReadDirectoryCount() + 1;
    char key[kKeySize];
    wsprintfA(key, "Path %d", next);
    // The path goes in before the count: a stop between the two writes leaves a key
    // that the walk never reaches and the next append overwrites.
    WritePrivateProfileStringA(kDirectorySection, key, path, g_stub.installLogPath);
    char count[kKeySize];
    wsprintfA(count, "%d", next);
    WritePrivateProfileStringA(kDirectorySection, kCountKey, count, g_stub.installLogPath);
}

void LogExtractedFile(DWORD index, const char *targetPath)
{
    if (!FitsPathBuffer(targetPath))
        return;
    char key[kKeySize];
    wsprintfA(key, "File %lu", index);
    WritePrivateProfileStringA(kFileSection, key, targetPath, g_stub.installLogPath);
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

void WalkExtractedFiles(LogPathVisitor visit, void *context)
{
    char value[kReadBufferSize];
    for (int k = 1; ReadNumberedValue(kFileSection, "File %d", k, value); ++k) {
        if (FitsPathBuffer(value))
            visit(value, context);
    }
}

void WalkCreatedDirectories(LogPathVisitor visit, void *context)
{
    char value[kReadBufferSize];
    for (int k = ReadDirectoryCount(); k > 0; --k) {
        if (!ReadNumberedValue(kDirectorySection, "Path %d", k, value))
            return;
        if (FitsPathBuffer(value))
            visit(value, context);
    }
}
