// Other programs the packer runs and waits for.
#ifndef VELMOR_CHILD_PROCESS_H
#define VELMOR_CHILD_PROCESS_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmor {

// The most input a program is given: what the system passes on at once without
// waiting for the program to read it.
constexpr size_t kMaxProgramInput = 4096;

struct ProgramRun {
    int status = -1;    // exit status; -1 when the program did not end normally
    std::string output; // standard output and error together
};

// Runs the program arguments[0] (looked up on the PATH unless it names a folder) with
// the rest as its arguments and input (at most kMaxProgramInput bytes) on its standard
// input, collects what it prints and waits for it to end. Nothing when no program of
// that name was found. Throws PackError "cannot start <program>: <reason>", or
// "cannot pass the password to <program>: <reason>" when the input cannot be passed.
std::optional<ProgramRun> RunProgram(const std::vector<std::string> &arguments, const std::string &input);

} // namespace velmor

#endif
