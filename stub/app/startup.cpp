#include <windows.h>
#include <commctrl.h>
#include "startup.h"
#include "stub_state.h"
#include "archive_reader.h"
#include "file_io.h"
#include "install_log.h"
#include "text.h"

// The Windows directory and the stub's own file name with its last three characters
// replaced by "CFG": D:\PKG\DRIVER.EXE gives C:\WINDOWS\DRIVER.CFG.
static int MakeInstallLogPath(const char *ownPath)
{
    char name[kPathBufferSize];
    if (!CopyText(name, sizeof name, ownPath))
        return 0;
    int length = TextLength(name);
    if (length < 3)
        return 0;
    name[length - 3] = 0;
    AppendText(name, sizeof name, "CFG");
    char *slash = FindLastBackslash(name);
    return JoinPath(g_stub.installLogPath, kPathBufferSize, g_stub.windowsDirectory,
                    slash ? slash + 1 : name);
}

// Splits the own path into the stub directory (with its backslash) and file name.
static int SplitOwnPath(const char *ownPath)
{
    char *dir = g_stub.stubDirectory;
    if (!CopyText(dir, kPathBufferSize, ownPath))
        return 0;
    char *slash = FindLastBackslash(dir);
    const char *name = slash ? ownPath + (slash + 1 - dir) : ownPath;
    if (slash)
        slash[1] = 0;
    else
        dir[0] = 0;
    return CopyText(g_stub.stubFileName, kPathBufferSize, name);
}

// With no folder in the archive: the stub's own directory when it lies on a fixed
// disk, otherwise a folder on C:.
static void ChooseDestinationFolder()
{
    char *folder = g_stub.trailer.defaultFolder;
    if (folder[0])
        return;
    char root[4] = "C:\\";
    root[0] = g_stub.stubDirectory[0];
    if (GetDriveTypeA(root) == DRIVE_FIXED)
        CopyText(folder, kDefaultFolderSize, g_stub.stubDirectory);
    else
        CopyText(folder, kDefaultFolderSize, FALLBACK_FOLDER);
}

int InitializeStub()
{
    InitCommonControls();
    // A Windows directory that cannot be had or does not fit is a failure: the install
    // log and the temporary files live there.
    if (!QueryWindowsDirectory(g_stub.windowsDirectory))
        return 0;

    char ownPath[kPathBufferSize];
    ClearBytes(ownPath, sizeof ownPath);
    DWORD length = GetModuleFileNameA(g_stub.instance, ownPath, sizeof ownPath);
    // A path that filled the whole buffer may have been cut short.
    if (length == 0 || length >= sizeof ownPath || !ownPath[0])
        return 0;
    if (!MakeInstallLogPath(ownPath))
        return 0;

    g_stub.archive = OpenSharedFile(ownPath, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (g_stub.archive == INVALID_HANDLE_VALUE)
        return 0;
    if (!ReadTrailer(g_stub.archive, &g_stub.trailer))
        return 0;
    if (!SplitOwnPath(ownPath))
        return 0;
    ChooseDestinationFolder();
    return SetFilePointer(g_stub.archive, static_cast<LONG>(g_stub.trailer.dataOffset), 0,
                          FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

void FinishStub()
{
    RemoveInstallLog();
    if (g_stub.archive != INVALID_HANDLE_VALUE) {
        CloseHandle(g_stub.archive);
        g_stub.archive = INVALID_HANDLE_VALUE;
    }
}
