// The running program itself.
#ifndef VELMOR_THIS_PROGRAM_H
#define VELMOR_THIS_PROGRAM_H

#include <optional>
#include <string>

namespace velmor {

// The path of the program file this process runs, links resolved; nothing when the
// system does not say.
std::optional<std::string> ThisProgramPath();

} // namespace velmor

#endif
