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

std::string CreatePrivateFolder(const std::string &path)
{
    // Full access for the folder's owner and the system, inherited by what is made
    // in it; nobody else's entry is inherited from above.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
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
