#include <windows.h>
#include "launch.h"
#include "text.h"

enum { kPathSize = 256 };

int LaunchProgram(const char *programPath)
{
    if (!programPath || !programPath[0])
        return 0;
    char commandLine[kPathSize];
    char directory[kPathSize];
    if (!CopyText(commandLine, sizeof commandLine, programPath) ||
        !CopyText(directory, sizeof directory, programPath))
        return 0;
    // E:\DISK1\W95\Setup.exe runs in E:\DISK1\W95, E:\Setup.exe in E:, and a path
    // without a backslash (E:Setup.exe) with an empty working directory.
    char *slash = FindLastBackslash(directory);
    if (slash)
        *slash = 0;
    else
        directory[0] = 0;

    // The busy cursor shows while the program comes up; nothing else is asked for.
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ClearBytes(&startup, sizeof startup);
    ClearBytes(&process, sizeof process);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_FORCEONFEEDBACK;
    // The handles of the new process are left to the launcher's own exit.
    return CreateProcessA(0, commandLine, 0, 0, FALSE, NORMAL_PRIORITY_CLASS, 0, directory,
                          &startup, &process) != 0;
}
