// The running program itself: its file, its command line and its environment.
#ifndef VELMOR_THIS_PROGRAM_H
#define VELMOR_THIS_PROGRAM_H

#include <optional>
#include <string>
#include <vector>

namespace velmor {

// The path of the program file this process runs, links resolved; nothing when the
// system does not say.
std::optional<std::string> ThisProgramPath();

// The words of the command line as UTF-8, the program's name first: argc and argv as
// main() received them where they are UTF-8 already (Linux), else the command line as
// the system keeps it (Windows hands main() its ANSI code page).
std::vector<std::string> ProgramArguments(int argc, char **argv);

// The value of the environment variable name as UTF-8; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const std::string &name);

} // namespace velmor

#endif
