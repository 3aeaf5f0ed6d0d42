// Starting the package's setup program, and in setup mode removing afterwards
// everything that the extraction put on disk.
#ifndef VELMOR_SETUP_RUN_H
#define VELMOR_SETUP_RUN_H

#include <windows.h>

// Starts the program at path with its own directory as working directory. With wait
// set, returns only when the program has ended, serving the thread's windows once a
// second meanwhile. 1 when the program was started (and has ended), 0 otherwise.
int StartProgram(const char *path, int wait);

// Removes every file and then every created directory that the install log lists;
// what cannot be removed now is handed to the system for removal at the next restart.
// Always 1.
int CleanUpAfterSetup();

#endif
