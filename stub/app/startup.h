// Start-up and exit of the stub.
#ifndef VELMOR_STARTUP_H
#define VELMOR_STARTUP_H

// Prepares everything the dialogs and the extraction need: the Windows directory, the
// install log path, the stub's own file opened and its trailer checked, the stub's
// directory and file name, the destination folder, and the file positioned at the
// first entry record. 1 when the stub is ready for its main dialog; 0 otherwise
// (nothing shown, nothing written). Needs g_stub.instance.
int InitializeStub();

// Removes what this process wrote into the install log (RemoveInstallLog) and closes
// the stub's own file.
void FinishStub();

#endif
