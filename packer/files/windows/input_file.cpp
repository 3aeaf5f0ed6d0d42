// Files read on Windows. Only the Windows build's code belongs here.
#include "input_file.h"

#include <algorithm>
#include "pack_error.h"
#include "windows_files.h"

namespace velmor {
namespace {

uint64_t SizeOf(const OpenFacts &facts)
{
    return (static_cast<uint64_t>(facts.info.nFileSizeHigh) << 32) | facts.info.nFileSizeLow;
}

bool SameFile(const OpenFacts &facts, uint64_t volume, uint64_t index)
{
    return facts.info.dwVolumeSerialNumber == volume &&
           ((static_cast<uint64_t>(facts.info.nFileIndexHigh) << 32) | facts.info.nFileIndexLow) == index;
}

void CheckFacts(const std::string &path, const OpenFacts &facts, uint64_t maxSize)
{
    CheckInputKind(path, facts.IsRegular(), facts.KindName(), SizeOf(facts), maxSize);
}

// What path names, looked at without reading it: a device is known by its name and
// never opened.
OpenFacts FactsOrThrow(const std::string &path, bool followLink = true)
{
    OpenFacts facts;
    if (NamesDevice(path)) {
        facts.fileType = FILE_TYPE_CHAR;
        return facts;
    }
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle =
        CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw PackError(path + ": cannot open: " + SystemReason(GetLastError()));
    bool read = ReadOpenFacts(handle, facts);
    DWORD error = GetLastError();
    CloseHandle(handle);
    if (!read)
        throw PackError(path + ": cannot open: " + SystemReason(error));
    return facts;
}

} // namespace

void InputFile::Open(uint64_t maxSize, bool followLink, const ScannedFile *scanned)
{
    const std::string &path = path_;
    OpenFacts before = FactsOrThrow(path, followLink);
    if (scanned && (!SameFile(before, scanned->device, scanned->inode) || !before.IsRegular()))
        throw PackError(ReplacedInput(path, true));
    CheckFacts(path, before, maxSize);
    std::wstring systemPath = SystemPath(path);
    DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    // With the right to set its times, the file is told to keep its last access time.
    bool keepsAccessTime = true;
    HANDLE handle = CreateFileW(systemPath.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        keepsAccessTime = false;
        handle = CreateFileW(systemPath.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE)
        throw PackError(path + ": cannot open: " + SystemReason(GetLastError()));
    if (keepsAccessTime) {
        FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};
        SetFileTime(handle, nullptr, &keep, nullptr);
    }
    const std::string replaced = ReplacedInput(path, scanned != nullptr);
    OpenFacts opened;
    if (!ReadOpenFacts(handle, opened) || opened.IsLink() ||
        !SameFile(opened, before.info.dwVolumeSerialNumber,
                  (static_cast<uint64_t>(before.info.nFileIndexHigh) << 32) | before.info.nFileIndexLow)) {
        CloseHandle(handle);
        throw PackError(replaced);
    }
    try {
        CheckFacts(path, opened, maxSize);
    } catch (...) {
        CloseHandle(handle);
        throw;
    }
    handle_ = AsSystemHandle(handle);
    size_ = SizeOf(opened);
}

InputFile::~InputFile()
{
    if (handle_ != kNoHandle)
        CloseHandle(AsHandle(handle_));
}

size_t InputFile::Read(char *buffer, size_t count)
{
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(std::min<size_t>(count, 1u << 30)), &got, nullptr))
        throw PackError(path_ + ": cannot read: " + SystemReason(GetLastError()));
    return got;
}

size_t InputFile::ReadAt(uint64_t offset, char *buffer, size_t count) const
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(std::min<size_t>(count, 1u << 30)), &got, &at) &&
        GetLastError() != ERROR_HANDLE_EOF)
        throw PackError(path_ + ": cannot read: " + SystemReason(GetLastError()));
    return got;
}

bool InputFile::Seek(uint64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN) != FALSE;
}

std::optional<uint64_t> SizeOfFile(const std::string &path)
{
    try {
        OpenFacts facts = FactsOrThrow(path);
        if (facts.fileType != FILE_TYPE_DISK)
            return std::nullopt;
        return SizeOf(facts);
    } catch (const PackError &) {
        return std::nullopt;
    }
}

void RequireRegularFile(const std::string &path, uint64_t maxSize)
{
    CheckFacts(path, FactsOrThrow(path), maxSize);
}

} // namespace velmor
