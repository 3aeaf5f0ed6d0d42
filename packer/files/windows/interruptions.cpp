// Console control events on Windows. Only the Windows build's code belongs here.
#include "interruptions.h"

#include "temporary_files.h"
#include "windows_files.h"

namespace velmor {

void HandleInterruptions()
{
    // A drive without a medium fails the call that touched it, reported as any other
    // failure, instead of asking the user in a window.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    RemoveTemporariesOnSignals();
}

} // namespace velmor
