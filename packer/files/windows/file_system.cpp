// Files and folders by path, on Windows. Only the Windows build's code belongs here.
#include "file_system.h"

#include "windows_files.h"
#include <sddl.h>

namespace velmor {

std::optional<FileIdentity> IdentifyFile(const std::string &path)
{
    if (NamesDevice(path))
        return std::nullopt;
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    OpenFacts facts;
    bool read = ReadOpenFacts(handle, facts) && facts.fileType == FILE_TYPE_DISK;
    CloseHandle(handle);
    if (!read)
        return std::nullopt;
    const BY_HANDLE_FILE_INFORMATION &info = facts.info;
    // The read-only attribute, as permission bits (output_file.h).
    unsigned bits = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, bits};
}

namespace {

// The user this process runs as, in the string form of a security descriptor.
std::wstring ProcessUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::wstring();
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD size = 0;
    wchar_t *text = nullptr;
    std::wstring sid;
    if (GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
        ConvertSidToStringSidW(info.user.User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

} // namespace

std::string CreatePrivateFolder(const std::string &path)
{
    // Full access for the user this process runs as and for the system, inherited by
    // what is made in it; nobody else's entry is inherited from above. (The owner
    // rights SID would do on Windows, but Wine maps it to no Unix permission at all.)
    const std::wstring user = ProcessUserSid();
    if (user.empty())
        return SystemReason(GetLastError());
    const std::wstring rules = L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rules.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return SystemReason(GetLastError());
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    BOOL created = CreateDirectoryW(SystemPath(path).c_str(), &security);
    DWORD error = GetLastError();
    LocalFree(descriptor);
    return created ? std::string() : SystemReason(error);
}

std::string MoveIntoPlace(const std::string &from, const std::string &to)
{
    return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING)
               ? std::string()
               : SystemReason(GetLastError());
}

} // namespace velmor
