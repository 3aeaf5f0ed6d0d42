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

namespace velmor {
namespace {

// The longest password passed on: far more than any key format needs.
constexpr size_t kMaxPassword = kMaxProgramInput;

std::wstring Wide(const std::string &text)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(size, 0)), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

// The path for the wide API whatever its length: made absolute, with the \\?\ (or
// \\?\UNC\) prefix that lifts the 260-character limit.
std::wstring SystemPath(const std::string &path)
{
    std::wstring wide = Wide(path);
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    DWORD length = size ? GetFullPathNameW(wide.c_str(), size, full.data(), nullptr) : 0;
    if (length == 0 || length >= size)
        return wide;
    full.resize(length);
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0)
        return full;
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string Utf8(const wchar_t *text, size_t length)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::string SystemReason(DWORD error)
{
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                  nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string reason = length ? Utf8(text, length) : std::string();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ' || reason.back() == '\r' ||
                               reason.back() == '\n'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

// An environment variable in UTF-8; nothing when it is not set.
std::optional<std::string> Variable(const std::string &name)
{
    std::wstring wideName = Wide(name);
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    return Utf8(value.data(), std::min<DWORD>(length, size));
}

// The password as the options give it: the first line of the password file, or the
// variable's value; empty without either.
std::string Password(const SigningOptions &options)
{
    std::string password;
    if (!options.passwordFile.empty()) {
        std::ifstream in(Wide(options.passwordFile).c_str(), std::ios::binary);
        if (!in)
            throw PackError(options.passwordFile + ": cannot read the password");
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
    } else if (!options.passwordEnv.empty()) {
        std::optional<std::string> value = Variable(options.passwordEnv);
        if (!value)
            throw PackError("--password-env: the environment variable " + options.passwordEnv + " is not set");
        password = *value;
    }
    if (password.size() > kMaxPassword)
        throw PackError("the password holds " + std::to_string(password.size()) + " bytes; a password may be at most " +
                        std::to_string(kMaxPassword) + " bytes long, more than any key format needs");
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
    const std::string tool = Variable("VELMOR_SIGNTOOL").value_or("");
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
