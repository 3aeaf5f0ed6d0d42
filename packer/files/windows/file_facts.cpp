// File facts on Windows, from the handle of what a path names. Only the Windows
// build's code belongs here.
#include "file_facts.h"

#include "windows_files.h"

namespace velmor {
namespace {

// FILETIME counts 100 ns from 1601-01-01, 11644473600 s before 1970-01-01.
FileMoment Moment(const FILETIME &t)
{
    int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    int64_t seconds = ticks / 10000000 - 11644473600LL;
    int64_t rest = ticks % 10000000;
    return {seconds, static_cast<uint32_t>(rest * 100)};
}

FileFacts FactsOf(const OpenFacts &open)
{
    FileFacts facts;
    facts.isRegular = open.IsRegular();
    facts.isFolder = open.IsFolder();
    facts.isLink = open.IsLink();
    facts.kindName = open.KindName();
    const BY_HANDLE_FILE_INFORMATION &info = open.info;
    facts.identity = {info.dwVolumeSerialNumber,
                      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, false};
    facts.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts.lastWrite = Moment(info.ftLastWriteTime);
    facts.lastAccess = Moment(info.ftLastAccessTime);
    facts.creation = Moment(info.ftCreationTime);
    facts.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts.hidden = (info.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    facts.system = (info.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    // Who may read a file is a matter of its access rules, which a package does not
    // carry; the owner-only warning speaks of Unix permission bits.
    facts.othersMayRead = true;
    return facts;
}

// The facts of an open handle, which it closes.
std::optional<FileFacts> FactsOfHandle(HANDLE handle, std::string &reason)
{
    OpenFacts open;
    bool read = ReadOpenFacts(handle, open);
    DWORD error = GetLastError();
    CloseHandle(handle);
    if (!read) {
        reason = SystemReason(error);
        return std::nullopt;
    }
    return FactsOf(open);
}

// The open file's path on the drive (or share) that path names, where the file lies
// on that volume: what the system calls say where GetFinalPathNameByHandleW cannot
// give a long path (Wine).
std::optional<std::wstring> NameOnTheSameDrive(HANDLE handle, const std::string &path)
{
    std::vector<char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    auto *name = reinterpret_cast<FILE_NAME_INFO *>(buffer.data());
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(buffer.size())) ||
        !GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    std::wstring full = SystemPath(path), root(MAX_PATH, L'\0');
    DWORD serial = 0;
    if (!GetVolumePathNameW(full.c_str(), root.data(), MAX_PATH) ||
        !GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
        serial != info.dwVolumeSerialNumber)
        return std::nullopt;
    root.resize(root.find(L'\0'));
    while (!root.empty() && root.back() == L'\\')
        root.pop_back();
    return root + std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

} // namespace

std::optional<FileFacts> LookAt(const std::string &path, bool followLinks, std::string &reason)
{
    if (NamesDevice(path)) {
        // Looked at, a device may already act (a serial port): its name says enough.
        OpenFacts device;
        device.fileType = FILE_TYPE_CHAR;
        return FactsOf(device);
    }
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle =
        CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = SystemReason(GetLastError());
        return std::nullopt;
    }
    return FactsOfHandle(handle, reason);
}

std::optional<FileFacts> LookAtIn(SystemHandle folder, const std::string &name)
{
    HANDLE handle;
    if (OpenIn(AsHandle(folder), name, FILE_READ_ATTRIBUTES, FILE_OPEN, FILE_OPEN_REPARSE_POINT, handle) < 0)
        return std::nullopt;
    std::string reason;
    return FactsOfHandle(handle, reason);
}

std::optional<std::string> ResolvedPath(const std::string &path, std::string &reason)
{
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = SystemReason(GetLastError());
        return std::nullopt;
    }
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length = 0, error = 0;
    for (;;) {
        length = GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        error = GetLastError();
        // Too small a buffer is answered with the size needed, or (Wine) with
        // ERROR_MORE_DATA alone.
        bool more = length == 0 && error == ERROR_MORE_DATA && resolved.size() < 32768;
        if (!more && length < resolved.size())
            break;
        resolved.resize(more ? resolved.size() * 2 : length);
    }
    if (length == 0 && error == ERROR_MORE_DATA) {
        std::optional<std::wstring> named = NameOnTheSameDrive(handle, path);
        if (named) {
            resolved = *named;
            length = static_cast<DWORD>(named->size());
        }
    }
    CloseHandle(handle);
    if (length == 0) {
        reason = SystemReason(error);
        return std::nullopt;
    }
    resolved.resize(length);
    // The path as a user writes it: without the prefix of the long form.
    if (resolved.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        resolved = L"\\\\" + resolved.substr(8);
    else if (resolved.compare(0, 4, L"\\\\?\\") == 0)
        resolved = resolved.substr(4);
    return Utf8FromWide(resolved);
}

std::string WhyNotReadable(const std::string &path)
{
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return SystemReason(GetLastError());
    CloseHandle(handle);
    return "";
}

std::optional<std::vector<std::string>> ListFolder(const std::string &path, std::string &reason)
{
    HANDLE folder = CreateFileW(SystemPath(path).c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        reason = SystemReason(GetLastError());
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> names = NamesInFolder(folder, reason);
    CloseHandle(folder);
    return names;
}

std::optional<std::vector<std::string>> ListOpenFolder(SystemHandle folder, std::string &reason)
{
    return NamesInFolder(AsHandle(folder), reason);
}

} // namespace velmor
