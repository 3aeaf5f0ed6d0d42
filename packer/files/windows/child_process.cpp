// Child processes on Windows. Only the Windows build's code belongs here.
#include "child_process.h"

#include "descriptor.h"
#include "pack_error.h"
#include "windows_files.h"

namespace velmor {
namespace {

// An argument as the C runtime's parser of the command line gives it back: quoted
// where it holds a space, a tab or a quote (or is empty), a quote escaped by a
// backslash, and backslashes doubled only where a quote follows them.
std::wstring Quoted(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++i;
            ++backslashes;
        }
        if (i == argument.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        quoted.push_back(argument[i]);
    }
    return quoted + L"\"";
}

bool IsProgramFile(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Variable(const wchar_t *name)
{
    DWORD length = GetEnvironmentVariableW(name, nullptr, 0);
    std::wstring value(length, L'\0');
    length = GetEnvironmentVariableW(name, value.data(), length);
    value.resize(length);
    return value;
}

std::vector<std::wstring> Split(const std::wstring &list)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L';', start);
        if (end == std::wstring::npos)
            end = list.size();
        std::wstring part = list.substr(start, end - start);
        if (part.size() >= 2 && part.front() == L'"' && part.back() == L'"')
            part = part.substr(1, part.size() - 2);
        if (!part.empty())
            parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

// The file the name stands for as the command prompt finds it: the name itself where
// it has an extension, else with each extension of PATHEXT in turn.
std::wstring WithExtension(const std::wstring &path)
{
    size_t last = path.find_last_of(L"\\/:");
    bool hasExtension = path.find(L'.', last == std::wstring::npos ? 0 : last + 1) != std::wstring::npos;
    if (hasExtension && IsProgramFile(path))
        return path;
    std::wstring extensions = Variable(L"PATHEXT");
    for (const std::wstring &extension : Split(extensions.empty() ? L".COM;.EXE;.BAT;.CMD" : extensions)) {
        if (IsProgramFile(path + extension))
            return path + extension;
    }
    return L"";
}

// The program file named, looked up on the PATH unless the name holds a folder; ""
// when there is none.
std::wstring FindProgram(const std::wstring &name)
{
    if (name.find_first_of(L"\\/:") != std::wstring::npos)
        return WithExtension(name);
    for (const std::wstring &folder : Split(Variable(L"PATH"))) {
        bool separated = folder.back() == L'\\' || folder.back() == L'/';
        std::wstring found = WithExtension(folder + (separated ? L"" : L"\\") + name);
        if (!found.empty())
            return found;
    }
    return L"";
}

bool IsBatchFile(const std::wstring &path)
{
    size_t dot = path.find_last_of(L'.');
    std::wstring extension = dot == std::wstring::npos ? L"" : path.substr(dot);
    return CompareStringOrdinal(extension.c_str(), -1, L".bat", -1, TRUE) == CSTR_EQUAL ||
           CompareStringOrdinal(extension.c_str(), -1, L".cmd", -1, TRUE) == CSTR_EQUAL;
}

// A pipe of which the child inherits one end: the read end where childReads, else the
// write end.
void MakePipe(Descriptor &read, Descriptor &write, bool childReads, const std::string &program)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE r, w;
    if (!CreatePipe(&r, &w, &inherit, 64 * 1024))
        throw PackError("cannot start " + program + ": " + SystemReason(GetLastError()));
    read = Descriptor(AsSystemHandle(r));
    write = Descriptor(AsSystemHandle(w));
    SetHandleInformation(childReads ? w : r, HANDLE_FLAG_INHERIT, 0);
}

} // namespace

std::optional<ProgramRun> RunProgram(const std::vector<std::string> &arguments, const std::string &input)
{
    const std::string &program = arguments[0];
    std::wstring path = FindProgram(WideFromUtf8(program));
    if (path.empty())
        return std::nullopt;
    std::wstring commandLine;
    for (const std::string &argument : arguments) {
        // cmd.exe, which runs a batch file, reads its command line by rules of its own.
        if (IsBatchFile(path) && argument.find_first_of("\"&|<>^%!\r\n") != std::string::npos)
            throw PackError("cannot start " + program + ": a batch file cannot be given the argument " + argument +
                            " unchanged; name a program file");
        commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(WideFromUtf8(argument));
    }

    Descriptor inRead, inWrite, outRead, outWrite;
    MakePipe(inRead, inWrite, true, program);
    MakePipe(outRead, outWrite, false, program);
    // The input goes into the pipe's buffer before the program starts, and the
    // program sees the end of its input behind it.
    DWORD written = 0;
    if (input.size() > kMaxProgramInput ||
        !WriteFile(AsHandle(inWrite.get()), input.data(), static_cast<DWORD>(input.size()), &written, nullptr) ||
        written != input.size())
        throw PackError("cannot pass the password to " + program + ": " + SystemReason(GetLastError()));
    inWrite.Close();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = AsHandle(inRead.get());
    startup.hStdOutput = AsHandle(outWrite.get());
    startup.hStdError = AsHandle(outWrite.get());
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return std::nullopt;
        throw PackError("cannot start " + program + ": " + SystemReason(error));
    }
    Descriptor process(AsSystemHandle(started.hProcess));
    CloseHandle(started.hThread);
    inRead.Close();
    outWrite.Close();

    ProgramRun run;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(AsHandle(outRead.get()), buffer, sizeof buffer, &got, nullptr) && got > 0)
        run.output.append(buffer, got);
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 0;
    // An exception or a kill ends a program with an NTSTATUS error code.
    if (GetExitCodeProcess(started.hProcess, &code) && code < 0xC0000000u)
        run.status = static_cast<int>(code);
    return run;
}

} // namespace velmor
