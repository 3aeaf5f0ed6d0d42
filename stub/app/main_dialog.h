// The main dialog: the package's description and destination folder, and on
// confirmation the whole job (extraction, setup program, clean-up).
#ifndef VELMOR_MAIN_DIALOG_H
#define VELMOR_MAIN_DIALOG_H

#include <windows.h>

// Dialog procedure of template IDD_MAIN. Ends with IDOK when the job ran to its end,
// IDCANCEL when the user cancelled or the package's mode is not a valid one.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills and shapes the dialog for the package's mode; 0 when the mode is not valid.
int InitMainDialog(HWND dialog);

// Runs the job: 1 when it ran to its end, 0 when the extraction did not complete
// (the dialog then stays open for another attempt) and when a job is already under
// way, which is left to go on alone.
int ConfirmMainDialog(HWND dialog);

// Lets the user pick a folder; 1 with its path (at most 255 characters) in path.
int BrowseForFolder(HWND owner, char *path, int pathSize);

#endif
