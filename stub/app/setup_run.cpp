#include "setup_run.h"
#include <shlobj.h>
#include "progress_dialog.h"
#include "stub_state.h"
#include "install_log.h"
#include "process.h"
#include "text.h"

int StartProgram(const char *path, int wait)
{
    PROCESS_INFORMATION process;
    if (!StartInOwnDirectory(path, &process))
        return 0;
    if (wait) {
        // A wait that fails outright ends the wait as the end of the program would:
        // it would fail the same way on every further try.
        DWORD result;
        while ((result = WaitForSingleObject(process.hProcess, 1000)) != WAIT_OBJECT_0 &&
               result != WAIT_FAILED)
            PumpMessages();
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 1;
}

// Where items that are still in use go on the 95/98/ME family: lines "NUL=path" in
// the [rename] section of WinInit.INI, processed at the next restart.
struct RemovalQueue {
    int ntFamily;
    HANDLE winInit;
};

static int WriteText(HANDLE file, const char *text)
{
    DWORD length = static_cast<DWORD>(TextLength(text));
    DWORD written = 0;
    return WriteFile(file, text, length, &written, 0) && written == length;
}

static void OpenWinInit(RemovalQueue *queue)
{
    char path[kPathBufferSize];
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || !AppendBackslash(path, sizeof path) ||
        !AppendText(path, sizeof path, "WinInit.INI"))
        return;
    const char *first = "\r\n";
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0,
                              OPEN_EXISTING, 0, 0);
    if (file != INVALID_HANDLE_VALUE) {
        SetFilePointer(file, 0, 0, FILE_END);
    } else {
        file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_NEW,
                           FILE_ATTRIBUTE_ARCHIVE, 0);
        if (file == INVALID_HANDLE_VALUE)
            return;
        first = "[rename]\r\n";
    }
    if (!WriteText(file, first)) {
        CloseHandle(file);
        return;
    }
    queue->winInit = file;
}

static void RemoveAtRestart(RemovalQueue *queue, const char *path)
{
    if (queue->ntFamily) {
        MoveFileExA(path, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    if (queue->winInit == INVALID_HANDLE_VALUE)
        return;
    // WinInit.INI is processed before Windows starts, by code that knows 8.3 names
    // only: the short form of the path, taken while the item still exists, unless
    // there is none to be had.
    char shortPath[kPathBufferSize];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length == 0 || length >= sizeof shortPath)
        CopyText(shortPath, sizeof shortPath, path);
    // The log's values that are walked hold at most 255 characters; the line adds six.
    char line[kPathBufferSize + 8];
    wsprintfA(line, "NUL=%s\r\n", shortPath);
    if (!WriteText(queue->winInit, line)) {
        CloseHandle(queue->winInit);
        queue->winInit = INVALID_HANDLE_VALUE;
    }
}

static void NotifyRemoved(const char *path)
{
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA | 0x2000, path, 0);
}

static void RemoveLoggedFile(const char *path, void *context)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(path))
        NotifyRemoved(path);
    else
        RemoveAtRestart(static_cast<RemovalQueue *>(context), path);
}

static void RemoveLoggedDirectory(const char *path, void *context)
{
    if (RemoveDirectoryA(path))
        NotifyRemoved(path);
    else
        RemoveAtRestart(static_cast<RemovalQueue *>(context), path);
}

int CleanUpAfterSetup()
{
    RemovalQueue queue;
    queue.winInit = INVALID_HANDLE_VALUE;
    OSVERSIONINFOA version;
    ClearBytes(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    queue.ntFamily = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    if (!queue.ntFamily)
        OpenWinInit(&queue);

    WalkExtractedFiles(RemoveLoggedFile, &queue);
    WalkCreatedDirectories(RemoveLoggedDirectory, &queue);

    if (queue.winInit != INVALID_HANDLE_VALUE)
        CloseHandle(queue.winInit);
    return 1;
}
