// The dialog inside which the archive is extracted, and the message pump that keeps
// the windows served while the extraction or the setup program runs.
#ifndef VELMOR_PROGRESS_DIALOG_H
#define VELMOR_PROGRESS_DIALOG_H

#include <windows.h>

// Dialog procedure of template IDD_PROGRESS. The dialog starts the extraction from
// a one-shot timer and ends with IDOK when every entry was extracted without a
// cancel, with IDCANCEL otherwise (also when the timer cannot be started).
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Appends the stub's file name to the window's caption (both dialogs do).
void AppendStubNameToCaption(HWND window);

// Removes, translates and dispatches every pending message of the thread, then
// returns; does not wait.
void PumpMessages();

#endif
