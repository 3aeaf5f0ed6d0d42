// The running program on Windows. Only the Windows build's code belongs here.
#include "this_program.h"

#include "windows_files.h"
#include <shellapi.h>

namespace velmor {

std::optional<std::string> ThisProgramPath()
{
    // The buffer grows until the whole path fits: a path may be longer than MAX_PATH.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return Utf8FromWide(path);
        }
        if (path.size() >= 32768)
            return std::nullopt;
        path.resize(path.size() * 2);
    }
}

std::vector<std::string> ProgramArguments(int argc, char **argv)
{
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Utf8FromWide(words[i], wcslen(words[i])));
    LocalFree(words);
    return arguments;
}

std::optional<std::string> EnvironmentVariable(const std::string &name)
{
    std::wstring wideName = WideFromUtf8(name);
    std::wstring value(64, L'\0');
    for (;;) {
        SetLastError(NO_ERROR);
        DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0)
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
        if (length < value.size()) {
            value.resize(length);
            return Utf8FromWide(value);
        }
        value.resize(length);
    }
}

} // namespace velmor
