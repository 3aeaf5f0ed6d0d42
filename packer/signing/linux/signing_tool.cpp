// Signing on Linux, by osslsigncode. Only the Linux build's code belongs here.
#include "signing_tool.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include "child_process.h"
#include "pack_error.h"

namespace velmor {
namespace {

// osslsigncode's messages on one line, without OpenSSL's error stack, its progress
// notes, its advice on its own options, and its closing word.
std::string MessagesOf(const std::string &output)
{
    std::istringstream lines(output);
    std::string joined;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line == "Failed" || line == "Succeeded" || line.find(":error:") != std::string::npos ||
            line.rfind("Connecting to ", 0) == 0 || line.rfind("Use the \"-t\" option", 0) == 0)
            continue;
        joined += (joined.empty() ? "" : "; ") + line;
    }
    return joined.empty() ? "it gave no reason" : joined;
}

} // namespace

const char kSigningToolName[] = "osslsigncode";

void SignWithTool(const SigningOptions &options, const std::string &in, const std::string &out,
                  const std::string &package)
{
    const char *named = std::getenv("VELMOR_OSSLSIGNCODE");
    std::vector<std::string> args = {named && *named ? named : "osslsigncode", "sign", "-h", "sha256"};
    if (!options.pkcs12File.empty())
        args.insert(args.end(), {"-pkcs12", options.pkcs12File});
    else
        args.insert(args.end(), {"-certs", options.certFile, "-key", options.keyFile});
    std::string password;
    if (!options.passwordFile.empty()) {
        args.insert(args.end(), {"-readpass", options.passwordFile});
    } else if (!options.passwordEnv.empty()) {
        // Through a pipe: a password on the command line would be visible to every
        // user of the machine.
        password = PasswordFromEnvironment(options.passwordEnv);
        args.insert(args.end(), {"-readpass", "/dev/stdin"});
    }
    if (!options.description.empty())
        args.insert(args.end(), {"-n", options.description});
    if (!options.url.empty())
        args.insert(args.end(), {"-i", options.url});
    for (const std::string &url : options.timestampUrls)
        args.insert(args.end(), {"-ts", url});
    args.insert(args.end(), {"-in", in, "-out", out});

    std::optional<ProgramRun> started = RunProgram(args, password);
    if (!started)
        throw PackError(args[0] + " not found: signing needs osslsigncode (Debian: apt-get install "
                                  "osslsigncode), on the PATH or named in VELMOR_OSSLSIGNCODE");
    const ProgramRun &run = *started;
    if (run.status == 0)
        return;
    std::string message = package + ": " + args[0] + " could not sign it: " + MessagesOf(run.output);
    std::string lower = message;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!options.timestampUrls.empty() && lower.find("timestamp") != std::string::npos)
        message += ". Timestamping asks the authority over the network; without --timestamp the package is "
                   "signed without a timestamp";
    throw PackError(message);
}

} // namespace velmor
