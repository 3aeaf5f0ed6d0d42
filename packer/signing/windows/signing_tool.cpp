// Signing on Windows, by signtool.exe of the Windows SDK. Only the Windows build's code
// belongs here.
//
// signtool signs a file in place, so in is first copied to out and out is signed. It
// reads keys only from a PKCS#12 (.pfx) file, and its password only from its command
// line. It takes one timestamp authority per run: the signature is made without one,
// then "signtool timestamp" asks the authorities in order until one answers.
#include "signing_tool.h"

#include <windows.h>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include "child_process.h"
#include "pack_error.h"
#include "this_program.h"
#include "windows/windows_files.h"

namespace velmor {
namespace {

// The longest password passed on: far more than any key format needs.
constexpr size_t kMaxPassword = kMaxProgramInput;

// The password as the options give it: the first line of the password file, or the
// variable's value; empty without either.
std::string Password(const SigningOptions &options)
{
    std::string password;
    if (!options.passwordFile.empty()) {
        std::ifstream in(WideFromUtf8(options.passwordFile).c_str(), std::ios::binary);
        if (!in)
            throw PackError(options.passwordFile + ": cannot read the password");
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
        if (password.size() > kMaxPassword)
            throw PackError("the password holds " + std::to_string(password.size()) +
                            " bytes; a password may be at most " + std::to_string(kMaxPassword) +
                            " bytes long, more than any key format needs");
    } else if (!options.passwordEnv.empty()) {
        password = PasswordFromEnvironment(options.passwordEnv);
    }
    return password;
}

// signtool's messages on one line, without its notes on what it is doing.
std::string MessagesOf(const std::string &output)
{
    std::istringstream lines(output);
    std::string joined;
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line.rfind("Done Adding Additional Store", 0) == 0 ||
            line.rfind("Number of files successfully", 0) == 0 || line.rfind("Number of errors", 0) == 0 ||
            line.rfind("Number of warnings", 0) == 0)
            continue;
        joined += (joined.empty() ? "" : "; ") + line;
    }
    return joined.empty() ? "it gave no reason" : joined;
}

// Runs signtool; throws where it is missing.
ProgramRun RunSigntool(const std::vector<std::string> &args)
{
    std::optional<ProgramRun> run = RunProgram(args, "");
    if (!run)
        throw PackError(args[0] + " not found: signing on Windows needs signtool.exe from the Windows SDK (its "
                                  "\"Windows SDK Signing Tools for Desktop Apps\"), on the PATH or named in "
                                  "VELMOR_SIGNTOOL");
    return *run;
}

} // namespace

const char kSigningToolName[] = "signtool";

void SignWithTool(const SigningOptions &options, const std::string &in, const std::string &out,
                  const std::string &package)
{
    if (options.pkcs12File.empty())
        throw PackError("signtool takes the certificate and key only in a PKCS#12 (.pfx) file: give --pkcs12 "
                        "instead of --cert and --key (\"openssl pkcs12 -export -inkey KEY -in CERT -out "
                        "signing.pfx\" makes one)");
    const std::string tool = EnvironmentVariable("VELMOR_SIGNTOOL").value_or("");
    const std::string password = Password(options);
    std::vector<std::string> args = {tool.empty() ? "signtool.exe" : tool, "sign", "/fd", "sha256", "/f",
                                     options.pkcs12File};
    if (!password.empty())
        args.insert(args.end(), {"/p", password});
    if (!options.description.empty())
        args.insert(args.end(), {"/d", options.description});
    if (!options.url.empty())
        args.insert(args.end(), {"/du", options.url});
    args.push_back(out);

    if (!CopyFileW(SystemPath(in).c_str(), SystemPath(out).c_str(), TRUE))
        throw PackError(out + ": cannot write: " + SystemReason(GetLastError()));
    ProgramRun run = RunSigntool(args);
    if (run.status != 0)
        throw PackError(package + ": " + args[0] + " could not sign it: " + MessagesOf(run.output));

    std::string refusals;
    for (const std::string &url : options.timestampUrls) {
        run = RunSigntool({args[0], "timestamp", "/tr", url, "/td", "sha256", out});
        if (run.status == 0)
            return;
        refusals += (refusals.empty() ? "" : "; ") + url + ": " + MessagesOf(run.output);
    }
    if (!options.timestampUrls.empty())
        throw PackError(package + ": " + args[0] + " could not timestamp it: " + refusals +
                        ". Timestamping asks the authority over the network; without --timestamp the package is "
                        "signed without a timestamp");
}

} // namespace velmor
