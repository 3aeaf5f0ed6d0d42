#include "process.h"
#include "text.h"

enum { kPathSize = 256 };

int StartInOwnDirectory(const char *path, PROCESS_INFORMATION *process)
{
    if (!path || !path[0])
        return 0;
    char commandLine[kPathSize];
    char directory[kPathSize];
    if (!CopyText(commandLine, sizeof commandLine, path) ||
        !CopyText(directory, sizeof directory, path))
        return 0;
    char *slash = FindLastBackslash(directory);
    if (slash)
        *slash = 0;
    else
        directory[0] = 0;

    STARTUPINFOA startup;
    ClearBytes(&startup, sizeof startup);
    ClearBytes(process, sizeof *process);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_FORCEONFEEDBACK;
    return CreateProcessA(0, commandLine, 0, 0, FALSE, NORMAL_PRIORITY_CLASS, 0, directory,
                          &startup, process) != 0;
}
