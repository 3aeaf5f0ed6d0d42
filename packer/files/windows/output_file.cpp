// Files written on Windows. Only the Windows build's code belongs here.
#include "output_file.h"

#include <algorithm>
#include <cstring>
#include "file_system.h"
#include "pack_error.h"
#include "windows_files.h"

namespace velmor {

namespace {

std::string Refusal(const std::string &shown, const char *found)
{
    return shown + ": expected a regular file to write or replace, found " + found + "; nothing was written";
}

// The refusal for what stands at an open handle, or "" when it may be replaced.
std::string RefusalOf(const std::string &shown, HANDLE handle)
{
    OpenFacts facts;
    bool read = ReadOpenFacts(handle, facts);
    CloseHandle(handle);
    if (!read || facts.IsRegular())
        return "";
    return Refusal(shown, facts.KindName());
}

FILETIME FileTimeOf(std::optional<FileMoment> moment)
{
    FILETIME time;
    if (!moment) {
        GetSystemTimeAsFileTime(&time);
        return time;
    }
    uint64_t ticks = static_cast<uint64_t>(moment->seconds + 11644473600LL) * 10000000u + moment->nanoseconds / 100;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// Gives the open file the name `to` in the folder, replacing what stands there; 0, or
// the error code. The native call takes the folder handle; the name is then found
// below that folder whatever became of its path.
DWORD RenameInFolder(HANDLE file, HANDLE folder, const std::string &to)
{
    std::wstring name = WideFromUtf8(to);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, name.data(), name.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io;
    NTSTATUS status = NtSetInformationFile(file, &io, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation);
    return status >= 0 ? 0 : RtlNtStatusToDosError(status);
}

// Clears the read-only attribute of the file name in folder (not behind a link), so
// that a rename may replace it; false when there was none to clear.
bool ClearReadOnlyIn(HANDLE folder, const std::string &name)
{
    HANDLE target;
    if (OpenIn(folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_OPEN,
               FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, target) < 0)
        return false;
    OpenFacts facts;
    bool cleared = ReadOpenFacts(target, facts) && (facts.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) &&
                   SetReadOnly(target, false) == 0;
    CloseHandle(target);
    return cleared;
}

} // namespace

void RequireReplaceableOutput(const std::string &path)
{
    // A device is refused by its name alone: opened, even to be looked at, it may act.
    if (NamesDevice(path))
        throw PackError(Refusal(path, "a device"));
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return; // missing, or a broken link
    std::string refusal = RefusalOf(path, handle);
    if (!refusal.empty())
        throw PackError(refusal);
}

void RefuseOutputOverInputs(const std::string &option, const std::string &output,
                            const std::vector<NamedInput> &inputs)
{
    std::optional<FileIdentity> target = IdentifyFile(output);
    if (!target)
        return;
    for (const NamedInput &input : inputs) {
        if (input.path.empty())
            continue;
        std::optional<FileIdentity> info = IdentifyFile(input.path);
        if (info && info->device == target->device && info->number == target->number)
            throw UsageError(option + " " + output + " is " + input.role + " (" + input.path +
                             "), which writing it would destroy; write elsewhere");
    }
}

OutputFile::OutputFile(const std::string &path, unsigned mode) : shown_(path)
{
    if (NamesDevice(path))
        throw PackError(Refusal(path, "a device"));
    std::string folder, name;
    DWORD error = 0;
    HANDLE opened = OpenFolderOf(path, folder, name, error);
    if (name.empty() || name == "." || name == "..") {
        if (opened != INVALID_HANDLE_VALUE)
            CloseHandle(opened);
        throw PackError(path + ": expected a file name, found a folder");
    }
    if (opened == INVALID_HANDLE_VALUE)
        throw PackError(path + ": cannot create the output file: " + folder + ": " + SystemReason(error));
    folder_ = AsSystemHandle(opened);
    ownsFolder_ = true;
    RemoveStaleTemporaries(folder_, name);
    Create(name, mode);
}

void OutputFile::Create(const std::string &name, unsigned mode)
{
    name_ = name;
    HANDLE folder = AsHandle(folder_);
    std::string refusal;
    HANDLE existing;
    if (NamesDevice(name))
        refusal = Refusal(shown_, "a device");
    else if (OpenIn(folder, name, FILE_READ_ATTRIBUTES, FILE_OPEN, 0, existing) >= 0)
        refusal = RefusalOf(shown_, existing);
    if (!refusal.empty()) {
        if (ownsFolder_)
            CloseHandle(folder);
        throw PackError(refusal);
    }
    tempName_ = TemporaryName(name, "tmp");
    try {
        // Registered before it exists, so that an interruption finds it from the first.
        temp_ = std::make_unique<TemporaryEntry>(folder_, tempName_, false);
    } catch (...) {
        if (ownsFolder_)
            CloseHandle(folder);
        throw;
    }
    HANDLE created;
    NTSTATUS status = OpenIn(folder, tempName_, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_CREATE,
                             FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, created);
    if (status < 0) {
        temp_->Release(); // nothing of that name was made
        temp_.reset();
        if (ownsFolder_)
            CloseHandle(folder);
        throw PackError(shown_ + ": cannot create the output file: " + StatusReason(status));
    }
    handle_ = AsSystemHandle(created);
    mode_ = mode;
}

OutputFile::~OutputFile()
{
    if (handle_ != kNoHandle)
        CloseHandle(AsHandle(handle_));
    temp_.reset(); // removes the temporary file unless committed
    if (ownsFolder_)
        CloseHandle(AsHandle(folder_));
}

void OutputFile::Write(std::string_view bytes)
{
    // At an offset always: a write at an offset (WriteAt) moves the file pointer on
    // Windows, where Linux's pwrite leaves it.
    if (DWORD error = WriteAll(AsHandle(handle_), bytes.data(), bytes.size(), static_cast<int64_t>(size_)))
        throw PackError(shown_ + ": cannot write: " + SystemReason(error));
    size_ += bytes.size();
}

void OutputFile::WriteAt(uint64_t offset, std::string_view bytes)
{
    if (offset > size_ || bytes.size() > size_ - offset)
        throw PackError(shown_ + ": cannot write past what was written");
    if (DWORD error = WriteAll(AsHandle(handle_), bytes.data(), bytes.size(), static_cast<int64_t>(offset)))
        throw PackError(shown_ + ": cannot write: " + SystemReason(error));
}

uint64_t OutputFile::CopyFrom(SystemHandle from, uint64_t count, const std::string &sourceName)
{
    uint64_t copied = 0;
    std::string buffer(static_cast<size_t>(std::min<uint64_t>(count, 1 << 20)), '\0');
    while (copied < count) {
        DWORD want = static_cast<DWORD>(std::min<uint64_t>(count - copied, buffer.size()));
        DWORD got = 0;
        if (!ReadFile(AsHandle(from), buffer.data(), want, &got, nullptr))
            throw PackError(sourceName + ": cannot copy into " + shown_ + ": " + SystemReason(GetLastError()));
        if (got == 0)
            break;
        Write(std::string_view(buffer.data(), got));
        copied += got;
    }
    return copied;
}

std::string OutputFile::SetTimes(std::optional<FileMoment> lastAccess, std::optional<FileMoment> lastWrite)
{
    FILETIME access = FileTimeOf(lastAccess), write = FileTimeOf(lastWrite);
    return SetFileTime(AsHandle(handle_), nullptr, &access, &write) ? std::string() : SystemReason(GetLastError());
}

std::string OutputFile::MarkHiddenAndSystem(bool hidden, bool system)
{
    DWORD error = SetAttribute(AsHandle(handle_), FILE_ATTRIBUTE_HIDDEN, hidden);
    if (error == 0)
        error = SetAttribute(AsHandle(handle_), FILE_ATTRIBUTE_SYSTEM, system);
    return error == 0 ? std::string() : SystemReason(error);
}

void OutputFile::Commit(std::optional<unsigned> mode)
{
    HANDLE file = AsHandle(handle_);
    HANDLE folder = AsHandle(folder_);
    LARGE_INTEGER held{};
    if (!GetFileSizeEx(file, &held))
        throw PackError(shown_ + ": cannot finish the output file: " + SystemReason(GetLastError()));
    CheckWrittenSize(static_cast<uint64_t>(held.QuadPart));
    DWORD error = mode ? SetReadOnly(file, ReadOnlyMode(*mode)) : 0;
    if (error == 0) {
        error = RenameInFolder(file, folder, name_);
        // Windows will not rename over a read-only file; the output replaces it as
        // it replaces any other file.
        if (error == ERROR_ACCESS_DENIED && ClearReadOnlyIn(folder, name_))
            error = RenameInFolder(file, folder, name_);
    }
    handle_ = kNoHandle;
    if (!CloseHandle(file) && error == 0)
        error = GetLastError();
    if (error != 0)
        throw PackError(shown_ + ": cannot finish the output file: " + SystemReason(error));
    temp_->Release();
}

FileInPlace::FileInPlace(const std::string &path)
    : path_(path), file_(AsSystemHandle(CreateFileW(SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                                    kShareAll, nullptr, OPEN_EXISTING, 0, nullptr)))
{
    if (file_.get() == kNoHandle)
        throw PackError(path + ": cannot open: " + SystemReason(GetLastError()));
}

void FileInPlace::WriteAt(uint64_t offset, std::string_view bytes)
{
    if (DWORD error = WriteAll(AsHandle(file_.get()), bytes.data(), bytes.size(), static_cast<int64_t>(offset)))
        throw PackError(path_ + ": cannot write: " + SystemReason(error));
}

std::string FileInPlace::Finish(unsigned mode)
{
    if (DWORD error = SetReadOnly(AsHandle(file_.get()), ReadOnlyMode(mode)))
        return SystemReason(error);
    if (!file_.Close())
        return SystemReason(GetLastError());
    return "";
}

} // namespace velmor
