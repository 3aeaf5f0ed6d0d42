// Open folders on Windows, through the native calls that open a name below a folder
// handle. Only the Windows build's code belongs here.
#include "folders.h"

#include "pack_error.h"
#include "windows_files.h"

namespace velmor {
namespace {

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103L);

} // namespace

SystemHandle OpenFolder(const std::string &path, std::string &reason)
{
    HANDLE folder = CreateFileW(SystemPath(path).c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        reason = SystemReason(GetLastError());
        return kNoHandle;
    }
    OpenFacts facts;
    if (!ReadOpenFacts(folder, facts) || !facts.IsFolder()) {
        CloseHandle(folder);
        reason = SystemReason(ERROR_DIRECTORY);
        return kNoHandle;
    }
    return AsSystemHandle(folder);
}

SystemHandle OpenFolderIn(SystemHandle folder, const std::string &name, std::string &reason, bool &inTheWay)
{
    HANDLE opened;
    NTSTATUS status = OpenIn(AsHandle(folder), name, kFolderAccess, FILE_OPEN,
                             FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, opened);
    if (status < 0) {
        inTheWay = status == kNotADirectory;
        reason = StatusReason(status);
        return kNoHandle;
    }
    // A junction or a link to a folder opens as a folder: it is not entered.
    OpenFacts facts;
    if (!ReadOpenFacts(opened, facts) || !facts.IsFolder()) {
        CloseHandle(opened);
        inTheWay = true;
        reason = SystemReason(ERROR_CANT_ACCESS_FILE);
        return kNoHandle;
    }
    return AsSystemHandle(opened);
}

bool CreateFolderIn(SystemHandle folder, const std::string &name, const std::string &shown)
{
    if (NamesDevice(name))
        throw PackError(shown + ": cannot create the folder: Windows keeps that name for a device");
    HANDLE created;
    NTSTATUS status =
        OpenIn(AsHandle(folder), name, FILE_LIST_DIRECTORY, FILE_CREATE, FILE_DIRECTORY_FILE, created);
    if (status >= 0) {
        CloseHandle(created);
        return true;
    }
    if (status != kNameCollision)
        throw PackError(shown + ": cannot create the folder: " + StatusReason(status));
    return false;
}

void RemoveEmptyFolderIn(SystemHandle folder, const std::string &name)
{
    HANDLE opened;
    if (OpenIn(AsHandle(folder), name, DELETE, FILE_OPEN, FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, opened) < 0)
        return;
    // Removing a folder that is not empty fails, and nothing happens.
    FILE_DISPOSITION_INFO remove{TRUE};
    SetFileInformationByHandle(opened, FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(opened);
}

void RemoveEmptyFolder(const std::string &path)
{
    RemoveDirectoryW(SystemPath(path).c_str());
}

} // namespace velmor
