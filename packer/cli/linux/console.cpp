// The console on Linux. Only the Linux build's code belongs here.
#include "console.h"

#include <unistd.h>

namespace velmor {

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

void PrepareConsole()
{
    // A terminal shows the UTF-8 it is given, as the locale says.
}

} // namespace velmor
