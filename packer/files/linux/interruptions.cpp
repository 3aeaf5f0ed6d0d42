// Signals on Linux. Only the Linux build's code belongs here.
#include "interruptions.h"

#include <csignal>
#include "temporary_files.h"

namespace velmor {

void HandleInterruptions()
{
    // A file size limit then fails a write with EFBIG, reported as any other failure.
    std::signal(SIGXFSZ, SIG_IGN);
    RemoveTemporariesOnSignals();
}

} // namespace velmor
