#include "launch.h"
#include "process.h"

int LaunchProgram(const char *programPath)
{
    // The handles of the new process are left to the launcher's own exit.
    PROCESS_INFORMATION process;
    return StartInOwnDirectory(programPath, &process);
}
