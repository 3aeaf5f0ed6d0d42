// The running program on Linux. Only the Linux build's code belongs here.
#include "this_program.h"

#include <unistd.h>
#include <climits>

namespace velmor {

std::optional<std::string> ThisProgramPath()
{
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return std::nullopt;
    self[n] = 0;
    return std::string(self);
}

} // namespace velmor
