// The program that makes the Authenticode signature over a file: on Linux
// osslsigncode, found on the PATH or named by VELMOR_OSSLSIGNCODE; on Windows
// signtool.exe of the Windows SDK, found on the PATH or named by VELMOR_SIGNTOOL.
#ifndef VELMOR_SIGNING_TOOL_H
#define VELMOR_SIGNING_TOOL_H

#include <string>
#include "package_signing.h"

namespace velmor {

// The tool's name, for messages.
extern const char kSigningToolName[];

// Signs the file at in into the new file out as options ask; package names the
// package in messages. Throws PackError where the tool cannot take the options (a key
// format it does not read). Throws PackError "<package>: <tool> could not sign it: <what
// it said>", or one that says how to get the tool where it is missing.
void SignWithTool(const SigningOptions &options, const std::string &in, const std::string &out,
                  const std::string &package);

// The password in the environment variable that --password-env names, for the tool.
// Throws PackError "--password-env: ..." when it is not set, or longer than the tool
// can be given (kMaxProgramInput bytes, far more than any key format needs).
std::string PasswordFromEnvironment(const std::string &name);

} // namespace velmor

#endif
