// Starting a program the way both Windows programs start their setup program.
#ifndef VELMOR_COMMON_PROCESS_H
#define VELMOR_COMMON_PROCESS_H

#include <windows.h>

// Starts the program at path, given to Windows as the program to run, so that no
// other program is tried in its place when the path holds a space. Its command line
// is the path in double quotes, as the shell starts a program; its working directory
// the folder that holds it (without a trailing backslash; E:\Setup.exe runs in E:, a
// path without any backslash with an empty working directory). The busy cursor
// shows while it comes up. 1 with the new process's handles in process,
// which the caller owns; 0 when the path is missing, empty or does not fit a path
// buffer, or the program cannot be started.
int StartInOwnDirectory(const char *path, PROCESS_INFORMATION *process);

#endif
