#include "progress_dialog.h"
#include <commctrl.h>
#include "resource.h"
#include "stub_state.h"
#include "extract_run.h"
#include "text.h"

enum {
    kTimerId = 1000,
    kTimerDelay = 500
};

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The caption of the template with the stub's file name appended.
void AppendStubNameToCaption(HWND window)
{
    char caption[2 * kPathBufferSize];
    ClearBytes(caption, sizeof caption);
    GetWindowTextA(window, caption, kPathBufferSize);
    AppendText(caption, sizeof caption, g_stub.stubFileName);
    SetWindowTextA(window, caption);
}

// The extraction run's view of this dialog.
static void ShowEntry(void *context, DWORD index, const char *fileName)
{
    HWND dialog = static_cast<HWND>(context);
    SetWindowTextA(GetDlgItem(dialog, IDC_CURRENT_FILE), fileName);
    SendMessageA(GetDlgItem(dialog, IDC_PROGRESS), PBM_SETPOS, index, 0);
}

static void DispatchMessages(void *)
{
    PumpMessages();
}

static int CancelWasRequested(void *)
{
    return g_stub.cancelRequested != 0;
}

static void InitProgressDialog(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
    AppendStubNameToCaption(dialog);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, LOWORD(g_stub.trailer.entryCount)));
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    // Without the timer the run would never start and Cancel could not end the dialog.
    if (!SetTimer(dialog, kTimerId, kTimerDelay, 0))
        EndDialog(dialog, IDCANCEL);
}

static void RunExtraction(HWND dialog, UINT_PTR timer)
{
    KillTimer(dialog, timer);
    ExtractHooks hooks;
    hooks.context = dialog;
    hooks.entryStarted = ShowEntry;
    hooks.dispatchPendingMessages = DispatchMessages;
    hooks.cancelRequested = CancelWasRequested;
    int completed = ExtractAll(&hooks);
    EndDialog(dialog, completed && !g_stub.cancelRequested ? IDOK : IDCANCEL);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitProgressDialog(dialog);
        return TRUE;
    case WM_TIMER:
        RunExtraction(dialog, wParam);
        return TRUE;
    case WM_COMMAND:
        // Only the run ends the dialog as completed: an IDOK, which no control of
        // the dialog sends but another program can, is not taken for its end.
        if (LOWORD(wParam) == IDCANCEL)
            g_stub.cancelRequested = 1;
        return TRUE;
    }
    return FALSE;
}
