#include "main_dialog.h"
#include <shlobj.h>
#include "extract_run.h"
#include "progress_dialog.h"
#include "resource.h"
#include "setup_run.h"
#include "stub_state.h"
#include "text.h"

// The class icon serves both dialogs, which share the dialog class. (On 32-bit
// Windows the Ptr forms are the plain SetClassLongA.)
static void SetDialogIcons(HWND dialog)
{
    HICON large = LoadIconA(g_stub.instance, MAKEINTRESOURCEA(IDI_STUB));
    HANDLE small = LoadImageA(g_stub.instance, MAKEINTRESOURCEA(IDI_STUB), IMAGE_ICON, 16, 16,
                              LR_DEFAULTCOLOR);
    SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(large));
    SetClassLongPtrA(dialog, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(small));
}

// Setup mode: no folder row, and the dialog shorter by the folder edit's height.
static void HideFolderRow(HWND dialog)
{
    // The label, the edit and Browse, in this order.
    static_assert(IDC_FOLDER == IDC_FOLDER_LABEL + 1 && IDC_BROWSE == IDC_FOLDER + 1,
                  "the folder row's ids follow each other");
    for (int id = IDC_FOLDER_LABEL; id <= IDC_BROWSE; ++id)
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    RECT whole;
    RECT edit;
    GetWindowRect(dialog, &whole);
    GetWindowRect(GetDlgItem(dialog, IDC_FOLDER), &edit);
    SetWindowPos(dialog, HWND_TOP, 0, 0, whole.right - whole.left,
                 (whole.bottom - whole.top) - (edit.bottom - edit.top), SWP_NOMOVE);
}

int InitMainDialog(HWND dialog)
{
    AppendStubNameToCaption(dialog);
    SetDlgItemTextA(dialog, IDC_DESCRIPTION, g_stub.trailer.description);
    // The folder is a path buffer: the edit takes no more than it holds.
    SendMessageA(GetDlgItem(dialog, IDC_FOLDER), EM_LIMITTEXT, kPathBufferSize - 1, 0);
    SetDlgItemTextA(dialog, IDC_FOLDER, g_stub.trailer.defaultFolder);
    // The mode names the confirm button; setup mode has no folder row.
    int mode = g_stub.trailer.mode;
    if (mode != kModeExtract && mode != kModeSetup)
        return 0;
    SetDlgItemTextA(dialog, IDOK, mode == kModeSetup ? "Setup" : "Extract");
    if (mode == kModeSetup)
        HideFolderRow(dialog);
    SetDialogIcons(dialog);
    return 1;
}

// Every run starts from the first entry with the cancel flag clear, also after a run
// that failed or was cancelled.
static void RewindArchive()
{
    g_stub.cancelRequested = 0;
    SetFilePointer(g_stub.archive, static_cast<LONG>(g_stub.trailer.dataOffset), 0, FILE_BEGIN);
}

// The full path of the setup program. 0 when there is none to start: no program
// named, a path that would leave the destination folder or name a device, or one
// that does not fit, which is not started rather than started cut short.
static int SetupProgramPath(char *program)
{
    CharStep names;
    InitAnsiCharStep(&names);
    return g_stub.trailer.setupProgram[0] &&
           NameStaysInside(g_stub.trailer.setupProgram, kPathForm, &names) &&
           JoinPath(program, kPathBufferSize, g_stub.trailer.defaultFolder,
                    g_stub.trailer.setupProgram);
}

// The job of one confirm: extraction, the setup program and, in setup mode, the
// clean-up. 1 when it has run to its end.
static int RunJob(HWND dialog)
{
    // One byte more than a path buffer holds: a folder that fills it is too long.
    char folder[kPathBufferSize + 1];
    ClearBytes(folder, sizeof folder);
    if (GetWindowTextA(GetDlgItem(dialog, IDC_FOLDER), folder, sizeof folder) >= kPathBufferSize)
        return 0;
    if (folder[0])
        CopyText(g_stub.trailer.defaultFolder, kDefaultFolderSize, folder);

    RewindArchive();
    // Owned by this dialog, the progress dialog keeps it disabled while it runs.
    if (DialogBoxParamA(g_stub.instance, MAKEINTRESOURCEA(IDD_PROGRESS), dialog, ProgressDialogProc,
                        0) != IDOK)
        return 0;

    int setupMode = g_stub.trailer.mode == kModeSetup;
    char program[kPathBufferSize];
    if (SetupProgramPath(program)) {
        EnableWindow(dialog, FALSE);
        StartProgram(program, setupMode);
        EnableWindow(dialog, TRUE);
    }
    if (setupMode)
        CleanUpAfterSetup();
    return 1;
}

// A disabled dialog still receives commands sent to it by other programs, and the
// message pump of the run and of the wait dispatches them: a confirm that arrives
// while a job is under way does nothing.
int ConfirmMainDialog(HWND dialog)
{
    if (g_stub.jobUnderWay)
        return 0;
    g_stub.jobUnderWay = 1;
    int done = RunJob(dialog);
    g_stub.jobUnderWay = 0;
    return done;
}

int BrowseForFolder(HWND owner, char *path, int pathSize)
{
    BROWSEINFOA browse;
    ClearBytes(&browse, sizeof browse);
    browse.hwndOwner = owner;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (!chosen)
        return 0;
    // The shell writes up to MAX_PATH bytes; a longer folder than a path buffer holds
    // is refused, not cut.
    char found[MAX_PATH + 1];
    ClearBytes(found, sizeof found);
    int result = SHGetPathFromIDListA(chosen, found) && found[0] && CopyText(path, pathSize, found);
    IMalloc *allocator = 0;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(chosen);
        allocator->Release();
    }
    return result;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!InitMainDialog(dialog))
            EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (ConfirmMainDialog(dialog))
                EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        case IDC_BROWSE: {
            char path[kPathBufferSize];
            ClearBytes(path, sizeof path);
            if (BrowseForFolder(dialog, path, sizeof path) && path[0])
                SetDlgItemTextA(dialog, IDC_FOLDER, path);
            break;
        }
        }
        return TRUE;
    }
    return FALSE;
}
