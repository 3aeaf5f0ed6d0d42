#include "setup_run.h"
#include <shlobj.h>
#include "file_io.h"
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
    int directories;  // the items now removed are directories, not files
};

static int WriteText(HANDLE file, const char *text)
{
    return WriteExactly(file, text, static_cast<DWORD>(TextLength(text)));
}

static void OpenWinInit(RemovalQueue *queue)
{
    char directory[kPathBufferSize];
    char path[kPathBufferSize];
    if (!QueryWindowsDirectory(directory) ||
        !JoinPath(path, sizeof path, directory, "WinInit.INI"))
        return;
    const char *first = "\r\n";
    HANDLE file = OpenSharedFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, 0);
    if (file != INVALID_HANDLE_VALUE) {
        SetFilePointer(file, 0, 0, FILE_END);
    } else {
        file = OpenSharedFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW,
                              FILE_ATTRIBUTE_ARCHIVE);
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

// Removes one item of the install log; the shell hears of each removal (of files and
// directories alike as deleted items), and an item that stays is queued.
static void RemoveLoggedItem(const char *path, void *context)
{
    RemovalQueue *queue = static_cast<RemovalQueue *>(context);
    BOOL removed;
    if (queue->directories) {
        removed = RemoveDirectoryA(path);
    } else {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
        removed = DeleteFileA(path);
    }
    if (removed)
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA | 0x2000, path, 0);
    else
        RemoveAtRestart(queue, path);
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

    queue.directories = 0;
    WalkExtractedFiles(RemoveLoggedItem, &queue);
    queue.directories = 1;
    WalkCreatedDirectories(RemoveLoggedItem, &queue);

    if (queue.winInit != INVALID_HANDLE_VALUE)
        CloseHandle(queue.winInit);
    return 1;
}
