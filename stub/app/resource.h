// Resource and control ids of the stub.
#ifndef VELMOR_STUB_RESOURCE_H
#define VELMOR_STUB_RESOURCE_H

// Icons
#define IDI_STUB 101

// Dialogs
#define IDD_MAIN 102
#define IDD_PROGRESS 103

// Controls of the main dialog (besides IDOK and IDCANCEL)
#define IDC_DESCRIPTION 1000
#define IDC_FOLDER_LABEL 1001
#define IDC_FOLDER 1002
#define IDC_BROWSE 1003

// Controls of the progress dialog (besides IDCANCEL)
#define IDC_CURRENT_FILE 1004
#define IDC_PROGRESS 1005

#define IDC_NONE -1

#endif
