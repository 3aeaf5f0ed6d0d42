#include "process.h"
#include "text.h"

enum { kPathSize = 256 };

int StartInOwnDirectory(const char *path, PROCESS_INFORMATION *process)
{
    if (!path || !path[0])
        return 0;
    // CreateProcessA may write into the command line, so it is a copy of its own.
    char commandLine[kPathSize + 2];
    char directory[kPathSize];
    commandLine[0] = '"';
    if (!CopyText(directory, sizeof directory, path) ||
        !CopyText(commandLine + 1, sizeof commandLine - 1, path) ||
        !AppendText(commandLine, sizeof commandLine, "\""))
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
    return CreateProcessA(path, commandLine, 0, 0, FALSE, NORMAL_PRIORITY_CLASS, 0, directory,
                          &startup, process) != 0;
}
