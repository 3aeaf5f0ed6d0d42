// The running program on Linux. Only the Linux build's code belongs here.
#include "this_program.h"

#include <unistd.h>
#include <climits>
#include <cstdlib>

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

std::vector<std::string> ProgramArguments(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::optional<std::string> EnvironmentVariable(const std::string &name)
{
    const char *value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

} // namespace velmor
