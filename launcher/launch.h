// Starting the setup program the launcher found.
#ifndef VELMOR_LAUNCHER_LAUNCH_H
#define VELMOR_LAUNCHER_LAUNCH_H

// Starts the program at programPath without waiting for it: the path alone, unquoted,
// is its command line, and the folder that holds it (without a trailing backslash) its
// working directory. 1 when the program was started, 0 otherwise.
int LaunchProgram(const char *programPath);

#endif
